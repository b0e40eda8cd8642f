// The simulator's report: what the unit received and sent and what its EEPROM holds, as JSON,
// and the readable dump of the EEPROM image that the command prints from a report.
#pragma once

#include "unitrecord.h"
#include "unitsimpty.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

nlohmann::json UnitReportJson(const TUnitRecord &Record);
// The report of a running simulator, with the port the program opens as "slave".
nlohmann::json UnitReportJson(const TUnitSimPty &Sim);

// "44 20 53 4e": two lower-case hex digits per byte, separated by blanks.
std::string HexBytes(std::string_view Bytes);

// The inverse of HexBytes; blanks between bytes are optional. Raises std::runtime_error for
// anything that is not a whole number of hex byte pairs.
std::vector<std::uint8_t> ParseHexBytes(std::string_view Text);

// The EEPROM image of a report as a hex dump, 16 bytes a row, with the settings block's two
// values marked: address 5 holds the second value (0-31), address 6 the ZN ID (1-4).
// Raises std::runtime_error when the report holds no readable image.
std::string EepromDump(const nlohmann::json &Report);
