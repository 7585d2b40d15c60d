// The portable rules of the settings: how stored texts read as integers and
// flags, the override values and their list form, and the time unit.
#pragma once

#include <cstdint>
#include <string>

// (Filled by the settings work: integer and flag parsing, the override
// bytes with OverrideListText/ApplyOverrideList over given state, and the
// conversion of a local date and time to NowSeconds' unit.)
