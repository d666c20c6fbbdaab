// Turns the acknowledges of MTK and UBX modules into readable lines for the command
// panel's Receive box, as ResponseDecoder does for the ZR family's "$PZRCnnn" replies;
// and hands the link all three families' decoders.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "monitor/link/NmeaDispatcher.h"

// "$PMTK001,102,3*33" appends "MTK ACK for PMTK102 (warm start): succeeded" and an empty
// line to `text`, each line ended by CR LF. A sentence without a command number and a
// flag gives "Invalid Packet: " and the sentence.
void DecodeMtkAck(std::string_view sentence, std::string& text);

// B5 62 05 00 02 00 06 3E 4B 70 appends "UBX ACK-NAK for CFG-GNSS (06 3E): refused" and an
// empty line; ACK-ACK ends after the parenthesis. `frame` runs from 0xB5 through the
// checksum, which the framer has checked.
void DecodeUbxAck(std::span<const uint8_t> frame, std::string& text);

// DecodeResponse, DecodeMtkAck and DecodeUbxAck, as the link takes them.
ReplyDecoders ModuleReplyDecoders();
