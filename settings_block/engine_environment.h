// What the harness tells the engines it starts through their environment, beside the settings
// block. The harness, the engine SDK and the reference engine all take the names from here.
#pragma once

/// The folder that holds the mailslots of the harness run that started the engine (an absolute
/// path). An engine that finds it writes its messages there; one that does not read it writes
/// to the slots of the design's names, which that run serves too when no other run holds them.
inline constexpr char kMailslotFolderVariable[] = "TESTKVE_MAILSLOT_FOLDER";
