// /SERVICE: the run through a service. Not built yet: /SERVICE already replaces the stress
// passes, and the launch itself comes with the service manager.
#pragma once

void RunServiceMode();
