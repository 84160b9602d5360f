// Warnings for number options whose text does not read as the number it seems to be.
#pragma once

class CommandLine;

/// For each of /RUN, /LOOP, /RANDOM, /WB, /LEVEL, /SEED, /TIMEOUT and /WARMUP on the process
/// command line with a value that is not a whole decimal number within 32 bits (/RUN=abc,
/// /LOOP=1x, /WB=99999999999), or that is negative where a negative number means nothing
/// (/TIMEOUT=-1, /SEED=-3, /WARMUP=-2), writes one line on standard error naming the option and
/// the number it is read as. A negative /RUN asks for that many passes read as unsigned, as
/// designed: it draws one line saying how many, which is no warning. The reading itself is
/// unchanged; standard output is untouched. Returns how many warnings were written; each counts
/// as a failure for /STRICT.
int WarnAboutRunNumbers(const CommandLine& line);

/// The same for a line typed in interactive mode, which reads /LOOP, /RANDOM, /WB and /LEVEL.
int WarnAboutTypedNumbers(const CommandLine& line);
