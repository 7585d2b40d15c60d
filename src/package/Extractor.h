// The decisions of extraction over given values (portable).
#pragma once

#include <cstdint>
#include <string>

// The drive to extract to when the temporary drive is short: the letter with
// strictly the most free space among C, D and E (free space 0 when a drive
// could not be probed), starting from the temporary folder's drive.
char ChooseTempDrive(char tempDrive, const double freeCDE[3]);
