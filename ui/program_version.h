// The program's version number and build number, from the build system, and
// how they are packed and shown. The packed number is what the update server
// is compared with. Pure functions; any thread.
#pragma once

#include <QString>

#include <cstdint>

// Major number in the upper 16 bits; in the lower 16 a minor figure that
// folds the third and fourth fields in: 0.7.0.0 gives 7, 1.2.3.0 gives
// 0x10000 + 23, 1.2.3.4 gives 0x10000 + 234.
uint32_t PackVersion(uint32_t major, uint32_t minor, uint32_t third, uint32_t fourth);

// The packed version of this program (0.7 for 0.7.0.0).
uint32_t ProgramVersion();
// The build number of this program (87).
uint32_t ProgramBuild();

// "Version 0.7 (build 87)"; without the build part for build 0.
QString FormatVersionLine(uint32_t version, uint32_t build);
