// Turns the acknowledges of MTK modules into readable lines for the command panel's
// Receive box, as ResponseDecoder does for the ZR family's "$PZRCnnn" replies; and hands
// the link the families' decoders.
#pragma once

#include <string>
#include <string_view>

#include "NmeaDispatcher.h"

// "$PMTK001,102,3*33" appends "MTK ACK for PMTK102 (warm start): succeeded" and an empty
// line to `text`, each line ended by CR LF. A sentence without a command number and a
// flag gives "Invalid Packet: " and the sentence.
void DecodeMtkAck(std::string_view sentence, std::string& text);

// DecodeResponse and DecodeMtkAck, as the link takes them.
ReplyDecoders ModuleReplyDecoders();
