#pragma once
// The cipher components. TCxBlowfish holds a 16-byte key and a chaining mode
// and encrypts files, streams and texts with the routines of CxProc/CxString.
//
// Texts are UTF-8 in the program and code page 1252 in the cipher: a password
// with "ç" or "ã" encrypts to the same Base64 text the stored passwords hold.
#include <array>
#include <cstdint>
#include <string>

#include "cipher/CxClass.h"
#include "platform/rtl/Streams.h"

enum TCxCipherMode { cmECB = 0, cmCBC = 1 };

const TTypeInfo* TypeInfoCxCipherMode();

class TCxCipher : public TCxBaseComponent {
public:
    FAT_CLASS(TCxCipher)
    explicit TCxCipher(TComponent* AOwner) : TCxBaseComponent(AOwner) {}

    virtual void DecryptFile(const std::string& InFile, const std::string& OutFile) = 0;
    virtual void DecryptStream(TStream& InStream, TStream& OutStream) = 0;
    virtual std::string DecryptString(const std::string& InText) = 0;
    virtual void EncryptFile(const std::string& InFile, const std::string& OutFile) = 0;
    virtual void EncryptStream(TStream& InStream, TStream& OutStream) = 0;
    virtual std::string EncryptString(const std::string& InText) = 0;
    // The size of the encrypted form of InSize bytes (in ECB).
    virtual uint64_t PaddedSize(uint32_t InSize) = 0;

    void DecryptStream(TStream* InStream, TStream* OutStream) { DecryptStream(*InStream, *OutStream); }
    void EncryptStream(TStream* InStream, TStream* OutStream) { EncryptStream(*InStream, *OutStream); }
};

class TCxSymmetricCipher : public TCxCipher {
public:
    FAT_CLASS(TCxSymmetricCipher)
    explicit TCxSymmetricCipher(TComponent* AOwner) : TCxCipher(AOwner) {}

    TCxCipherMode CipherMode() const { return cipherMode_; }
    void SetCipherMode(TCxCipherMode Value) { cipherMode_ = Value; }

    virtual void GenerateKey(const std::string& Passphrase) = 0;
    virtual void GenerateRandomKey() = 0;

private:
    TCxCipherMode cipherMode_ = cmECB;
};

class TCxBlowfish : public TCxSymmetricCipher {
public:
    FAT_CLASS(TCxBlowfish)
    explicit TCxBlowfish(TComponent* AOwner = nullptr) : TCxSymmetricCipher(AOwner) {}

    using TCxCipher::DecryptStream;
    using TCxCipher::EncryptStream;

    void DecryptFile(const std::string& InFile, const std::string& OutFile) override;
    void DecryptStream(TStream& InStream, TStream& OutStream) override;
    std::string DecryptString(const std::string& InText) override;
    void EncryptFile(const std::string& InFile, const std::string& OutFile) override;
    void EncryptStream(TStream& InStream, TStream& OutStream) override;
    std::string EncryptString(const std::string& InText) override;
    uint64_t PaddedSize(uint32_t InSize) override;

    // The pass phrase's code page 1252 bytes hashed into the key.
    void GenerateKey(const std::string& Passphrase) override;
    void GenerateRandomKey() override;

    // All zeros until a key is generated; never streamed.
    const std::array<uint8_t, 16>& Key() const { return key_; }

private:
    std::array<uint8_t, 16> key_{};
};
