#pragma once
// Base64 text and the encryption of strings into it.
//
// The Base64 is the standard one (RFC 4648 alphabet, "=" padding) on one
// unbroken line. Decoding accepts exactly what the encoder writes: groups of
// four alphabet characters, the last one or two of a group replaced by "="
// padding. Anything else (a line break, a blank, a character outside the
// alphabet) raises Exception "Invalid Base64 Character", and text that stops
// inside a group raises Exception "Invalid Base64 length".
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/Streams.h"

void Base64EncodeStream(TStream& InStream, TStream& OutStream);
void Base64DecodeStream(TStream& InStream, TStream& OutStream);

// InText's bytes encrypted (ECB, or CBC with a vector from the clock) and
// given as Base64 text; or Base64 text decrypted back into bytes. No
// conversion of text happens here: callers holding UTF-8 text pass its code
// page 1252 bytes (the component does). Decrypting text that is not a whole
// number of blocks, or whose last block does not decrypt to a valid count,
// raises ECipherException "Invalid file format"; no partial result is given.
std::string BlowfishEncryptString(std::string_view InText, const uint8_t Key[16], bool Encrypt);
std::string BlowfishEncryptStringCBC(std::string_view InText, const uint8_t Key[16], bool Encrypt);

namespace cipher {

std::string Base64Encode(std::string_view bytes);
std::string Base64Decode(std::string_view text);

}  // namespace cipher
