#include "cipher/CxCipher.h"

#include "cipher/CxProc.h"
#include "cipher/CxString.h"
#include "cipher/CxUtils.h"
#include "platform/rtl/Strings.h"

const TTypeInfo* TypeInfoCxCipherMode() {
    static const TTypeInfo info = MakeEnumTypeInfo("TCxCipherMode", {"cmECB", "cmCBC"});
    return &info;
}

TClass TCxCipher::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TCxCipher>("TCxCipher", TCxBaseComponent::StaticClassType()).Build();
    return &info;
}

TClass TCxSymmetricCipher::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TCxSymmetricCipher>("TCxSymmetricCipher", TCxCipher::StaticClassType()).Build();
    return &info;
}

TClass TCxBlowfish::StaticClassType() {
    // CipherMode has no default: it is written whatever its value.
    static const TClassInfo info =
        TClassBuilder<TCxBlowfish>("TCxBlowfish", TCxSymmetricCipher::StaticClassType())
            .Enum("CipherMode", TypeInfoCxCipherMode(), &TCxBlowfish::CipherMode,
                  &TCxBlowfish::SetCipherMode)
            .Build();
    return &info;
}

namespace {
// Forms loaded from a stream find the component by its class name.
const bool registered = (RegisterClass(TCxBlowfish::StaticClassType()), true);
}  // namespace

void TCxBlowfish::DecryptFile(const std::string& InFile, const std::string& OutFile) {
    if (CipherMode() == cmCBC) BlowfishEncryptFileCBC(InFile, OutFile, key_.data(), false);
    else BlowfishEncryptFile(InFile, OutFile, key_.data(), false);
}

void TCxBlowfish::EncryptFile(const std::string& InFile, const std::string& OutFile) {
    if (CipherMode() == cmCBC) BlowfishEncryptFileCBC(InFile, OutFile, key_.data(), true);
    else BlowfishEncryptFile(InFile, OutFile, key_.data(), true);
}

void TCxBlowfish::DecryptStream(TStream& InStream, TStream& OutStream) {
    if (CipherMode() == cmCBC) BlowfishEncryptStreamCBC(InStream, OutStream, key_.data(), false);
    else BlowfishEncryptStream(InStream, OutStream, key_.data(), false);
}

void TCxBlowfish::EncryptStream(TStream& InStream, TStream& OutStream) {
    if (CipherMode() == cmCBC) BlowfishEncryptStreamCBC(InStream, OutStream, key_.data(), true);
    else BlowfishEncryptStream(InStream, OutStream, key_.data(), true);
}

std::string TCxBlowfish::EncryptString(const std::string& InText) {
    const std::string bytes = Utf8ToCp1252(InText);
    if (CipherMode() == cmCBC) return BlowfishEncryptStringCBC(bytes, key_.data(), true);
    return BlowfishEncryptString(bytes, key_.data(), true);
}

std::string TCxBlowfish::DecryptString(const std::string& InText) {
    const std::string bytes = CipherMode() == cmCBC
                                  ? BlowfishEncryptStringCBC(InText, key_.data(), false)
                                  : BlowfishEncryptString(InText, key_.data(), false);
    return Cp1252ToUtf8(bytes);
}

uint64_t TCxBlowfish::PaddedSize(uint32_t InSize) { return (uint64_t(InSize) / 8 + 1) * 8; }

void TCxBlowfish::GenerateKey(const std::string& Passphrase) {
    PassphraseToKey(key_.data(), static_cast<int32_t>(key_.size()), Utf8ToCp1252(Passphrase));
}

void TCxBlowfish::GenerateRandomKey() {
    RandomKeyBytes(key_.data(), static_cast<int32_t>(key_.size()));
}
