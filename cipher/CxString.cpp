#include "cipher/CxString.h"

#include <vector>

#include "cipher/CxProc.h"

namespace cipher {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Alphabet value of each byte; -1 for bytes outside the alphabet.
struct DecodeTable {
    int8_t value[256];
    constexpr DecodeTable() : value() {
        for (int i = 0; i < 256; ++i) value[i] = -1;
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = int8_t(i);
    }
};
constexpr DecodeTable kDecode;

[[noreturn]] void InvalidCharacter() { throw Exception("Invalid Base64 Character"); }

void EncodeInto(std::string& out, const uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8 | p[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (n - i == 1) {
        const uint32_t v = uint32_t(p[i]) << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (n - i == 2) {
        const uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
}

// Decodes whole groups of four characters.
void DecodeInto(std::string& out, const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; i += 4) {
        const int a = kDecode.value[static_cast<unsigned char>(p[i])];
        const int b = kDecode.value[static_cast<unsigned char>(p[i + 1])];
        const bool pad2 = p[i + 2] == '=';
        const bool pad3 = p[i + 3] == '=';
        const int c = pad2 ? 0 : kDecode.value[static_cast<unsigned char>(p[i + 2])];
        const int d = pad3 ? 0 : kDecode.value[static_cast<unsigned char>(p[i + 3])];
        if (a < 0 || b < 0 || c < 0 || d < 0 || (pad2 && !pad3)) InvalidCharacter();
        out += static_cast<char>((a << 2) | (b >> 4));
        if (!pad2) {
            out += static_cast<char>(((b << 4) | (c >> 2)) & 0xFF);
            if (!pad3) out += static_cast<char>(((c << 6) | d) & 0xFF);
        }
    }
}

int64_t ReadFully(TStream& s, void* buffer, int64_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t total = 0;
    while (total < count) {
        const int64_t got = s.Read(p + total, count - total);
        if (got <= 0) break;
        total += got;
    }
    return total;
}

// Multiples of 3 and of 4, so that chunks meet on whole groups.
constexpr int64_t kEncodeChunk = 3 * 16384;
constexpr int64_t kDecodeChunk = 4 * 16384;

std::string EncryptString(std::string_view inText, const uint8_t key[16], bool encrypt, bool cbc) {
    TStringStream in(inText);
    in.SetPosition(0);
    TMemoryStream work;
    TMemoryStream out;
    if (encrypt) {
        if (cbc) BlowfishEncryptStreamCBC(in, work, key, true);
        else BlowfishEncryptStream(in, work, key, true);
        work.SetPosition(0);
        Base64EncodeStream(work, out);
    } else {
        Base64DecodeStream(in, work);
        // Stored texts are always whole blocks; anything else is damaged and
        // would otherwise decrypt to a shortened result without complaint.
        if (work.Size() % 8 != 0) throw ECipherException("Invalid file format");
        work.SetPosition(0);
        if (cbc) BlowfishEncryptStreamCBC(work, out, key, false);
        else BlowfishEncryptStream(work, out, key, false);
    }
    return out.DataBytes();
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    EncodeInto(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return out;
}

std::string Base64Decode(std::string_view text) {
    const std::size_t whole = text.size() / 4 * 4;
    std::string out;
    out.reserve(whole / 4 * 3);
    DecodeInto(out, text.data(), whole);
    if (whole != text.size()) {
        // Report a bad character before a missing one.
        for (std::size_t i = whole; i < text.size(); ++i)
            if (kDecode.value[static_cast<unsigned char>(text[i])] < 0 && text[i] != '=')
                InvalidCharacter();
        throw Exception("Invalid Base64 length");
    }
    return out;
}

}  // namespace cipher

void Base64EncodeStream(TStream& InStream, TStream& OutStream) {
    std::vector<uint8_t> buffer(cipher::kEncodeChunk);
    std::string text;
    for (;;) {
        const int64_t got = cipher::ReadFully(InStream, buffer.data(), cipher::kEncodeChunk);
        if (got <= 0) break;
        text.clear();
        cipher::EncodeInto(text, buffer.data(), static_cast<std::size_t>(got));
        OutStream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
        if (got < cipher::kEncodeChunk) break;
    }
}

void Base64DecodeStream(TStream& InStream, TStream& OutStream) {
    std::vector<char> buffer(cipher::kDecodeChunk);
    std::string bytes;
    for (;;) {
        const int64_t got = cipher::ReadFully(InStream, buffer.data(), cipher::kDecodeChunk);
        if (got <= 0) break;
        // Only the last chunk can be short; Base64Decode judges its tail.
        bytes = cipher::Base64Decode(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        OutStream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        if (got < cipher::kDecodeChunk) break;
    }
}

std::string BlowfishEncryptString(std::string_view InText, const uint8_t Key[16], bool Encrypt) {
    return cipher::EncryptString(InText, Key, Encrypt, false);
}

std::string BlowfishEncryptStringCBC(std::string_view InText, const uint8_t Key[16], bool Encrypt) {
    return cipher::EncryptString(InText, Key, Encrypt, true);
}
