// Parsers of the standard sentences. Each takes the whole sentence text ("$" up to the
// checksum) and fills its record, cleared first; false when the sentence breaks a rule.
#pragma once

#include <string_view>

#include "monitor/link/ReceiverState.h"

bool ParseGga(std::string_view sentence, GgaRecord& out);
bool ParseGll(std::string_view sentence, GllRecord& out);
bool ParseGsa(std::string_view sentence, GsaSentence& out);
bool ParseQsa(std::string_view sentence, GsaSentence& out);
bool ParseGsv(std::string_view sentence, GsvRecord& out);
bool ParseRmc(std::string_view sentence, RmcRecord& out);
bool ParseVtg(std::string_view sentence, VtgRecord& out);

// GPS talkers number SBAS 33-64 and QZSS 193-197 among their own satellites.
GnssSystem SystemOfGpsNumber(int prn);
