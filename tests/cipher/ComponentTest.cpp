// The cipher components: what the billing application's password storage
// relies on, and the component face (properties, streaming metadata, owner).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "cipher/CxCipher.h"
#include "cipher/CxProc.h"
#include "cipher/CxString.h"
#include "platform/rtl/Strings.h"
#include "tests/cipher/Reference.h"
#include "tests/support/PublishedTable.h"

using cxtest::FromHex;
using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;

namespace {

// What the billing application does to store a password.
std::string StoredForm(const std::string& password) {
    TCxBlowfish cipher(nullptr);
    cipher.GenerateKey("BRISKO-TALV");
    return cipher.EncryptString(password);
}

}  // namespace

TEST(CxBlowfish, StoredPasswordsMatchTheSecondImplementation) {
    const auto lines = cxtest::ReferenceLines("text");
    ASSERT_GE(lines.size(), 5u);
    for (const auto& f : lines) {
        const std::string phrase = FromHex(f[1]), text = FromHex(f[2]);
        SCOPED_TRACE(phrase + " / " + text);
        TCxBlowfish cipher(nullptr);
        cipher.GenerateKey(phrase);
        EXPECT_EQ(cipher.EncryptString(text), f[3]);
        EXPECT_EQ(cipher.DecryptString(f[3]), text);  // back to UTF-8
    }
    // The default password, as the first start of a new database stores it.
    EXPECT_EQ(StoredForm("TRUVE"), "USjzVr0X0j4=");
}

TEST(CxBlowfish, AccentedTextRoundTripsInBothModes) {
    const std::string base = "Ação, coração, pêssego, €, ü; ";
    for (const TCxCipherMode mode : {cmECB, cmCBC}) {
        TCxBlowfish cipher(nullptr);
        cipher.SetCipherMode(mode);
        cipher.GenerateKey("chave de teste");
        for (int n : {0, 1, 7, 8, 9, 15, 16, 1000}) {
            std::string text;
            while (Length(text) < n) text += Copy(base, (Length(text) % Length(base)) + 1, 1);
            SCOPED_TRACE(std::to_string(mode) + ":" + std::to_string(n));
            ASSERT_EQ(Length(text), n);
            const std::string stored = cipher.EncryptString(text);
            // One code page 1252 byte a character, whatever its UTF-8 length.
            const std::size_t blocks = static_cast<std::size_t>(n) / 8 + 1 + (mode == cmCBC ? 1 : 0);
            EXPECT_EQ(stored.size(), (blocks * 8 + 2) / 3 * 4);
            EXPECT_EQ(cipher.DecryptString(stored), text);
        }
    }
}

TEST(CxBlowfish, DefaultsAndKeys) {
    TCxBlowfish cipher(nullptr);
    EXPECT_EQ(cipher.CipherMode(), cmECB);
    for (uint8_t b : cipher.Key()) EXPECT_EQ(b, 0);
    // Before any key is generated the all-zero key is used: the second
    // implementation's value under that key.
    EXPECT_EQ(cipher.EncryptString("TRUVE"), "KSzgP2Fp54s=");

    // Two instances with the same pass phrase read each other's texts.
    TCxBlowfish a(nullptr), b(nullptr);
    a.GenerateKey("BRISKO-TALV");
    b.GenerateKey("BRISKO-TALV");
    EXPECT_EQ(a.Key(), b.Key());
    EXPECT_EQ(b.DecryptString(a.EncryptString("SENHA")), "SENHA");
    // Letter case matters in the pass phrase.
    b.GenerateKey("brisko-talv");
    EXPECT_NE(a.Key(), b.Key());

    // Random keys differ from each other and from the zero key.
    TCxBlowfish r1(nullptr), r2(nullptr);
    r1.GenerateRandomKey();
    r2.GenerateRandomKey();
    EXPECT_NE(r1.Key(), r2.Key());
    EXPECT_EQ(r1.DecryptString(r1.EncryptString("x")), "x");
}

TEST(CxBlowfish, SwitchingModeBetweenEncryptAndDecryptLosesTheText) {
    TCxBlowfish cipher(nullptr);
    cipher.GenerateKey("k");
    const std::string stored = cipher.EncryptString("0123456789ABCDEF");  // three blocks
    cipher.SetCipherMode(cmCBC);
    std::string read;
    try {
        read = cipher.DecryptString(stored);
    } catch (const ECipherException&) {
        read = "(error)";
    }
    EXPECT_NE(read, "0123456789ABCDEF");
}

TEST(CxBlowfish, PaddedSizeIsTheEcbOutputSize) {
    TCxBlowfish cipher(nullptr);
    EXPECT_EQ(cipher.PaddedSize(0), 8u);
    EXPECT_EQ(cipher.PaddedSize(7), 8u);
    EXPECT_EQ(cipher.PaddedSize(8), 16u);
    EXPECT_EQ(cipher.PaddedSize(1000003), 1000008u);
    EXPECT_EQ(cipher.PaddedSize(0xFFFFFFFFu), 0x100000000ull);  // no wrap to 0
}

TEST(CxBlowfish, FilesAndStreamsFollowTheMode) {
    TempDir dir;
    const std::string plain(1000003, 'q');
    WriteAll(dir.file("plain"), plain);
    for (const TCxCipherMode mode : {cmECB, cmCBC}) {
        TCxBlowfish cipher(nullptr);
        cipher.SetCipherMode(mode);
        cipher.GenerateKey("arquivo");
        cipher.EncryptFile(dir.file("plain"), dir.file("enc"));
        EXPECT_EQ(ReadAll(dir.file("enc")).size(), cipher.PaddedSize(1000003) + (mode == cmCBC ? 8 : 0));
        cipher.DecryptFile(dir.file("enc"), dir.file("enc"));  // onto itself
        EXPECT_EQ(ReadAll(dir.file("enc")), plain);

        TStringStream in("stream contents");
        in.SetPosition(0);
        TMemoryStream enc, back;
        cipher.EncryptStream(&in, &enc);
        enc.SetPosition(0);
        cipher.DecryptStream(enc, back);
        EXPECT_EQ(back.DataBytes(), "stream contents");
    }
    TCxBlowfish cipher(nullptr);
    EXPECT_THROW(cipher.DecryptFile(dir.file("missing"), dir.file("out")), EFOpenError);
}

TEST(CxBlowfish, PublishedPropertiesAndRegistration) {
    TComponent owner(nullptr);
    auto* cipher = new TCxBlowfish(&owner);  // freed by its owner
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_TRUE(cipher->InheritsFrom(TCxSymmetricCipher::StaticClassType()));
    EXPECT_TRUE(cipher->InheritsFrom(TCxBaseComponent::StaticClassType()));

    EXPECT_EQ(GetStrProp(cipher, "Version"), "2.07");
    SetStrProp(cipher, "Version", "9.99");  // ignored
    EXPECT_EQ(cipher->Version(), "2.07");
    EXPECT_FALSE(IsStoredProp(cipher, GetPropInfo(cipher, "Version")));

    const TPropInfo* mode = GetPropInfo(cipher, "CipherMode");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->Default, NoDefault);
    EXPECT_TRUE(IsStoredProp(cipher, mode));
    EXPECT_EQ(GetEnumProp(cipher, "CipherMode"), "cmECB");
    SetEnumProp(cipher, "CipherMode", "cmCBC");
    EXPECT_EQ(cipher->CipherMode(), cmCBC);
    EXPECT_EQ(GetPropInfo(cipher, "Key"), nullptr);  // the key is never streamed

    TClass cls = GetClass("TCxBlowfish");
    ASSERT_EQ(cls, TCxBlowfish::StaticClassType());
    std::unique_ptr<TObject> made(CreateInstance(cls, nullptr));
    auto* fresh = dynamic_cast<TCxBlowfish*>(made.get());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->CipherMode(), cmECB);
}

// The component face as the description lists it (the shared table of
// published members): the version text of every cipher component and the
// chaining mode of the Blowfish component.
TEST(CxComponents, EveryListedPropertyIsPublished) {
    std::size_t checked = 0;
    const std::vector<std::string> failures = testsupport::CheckPublishedSubjects(
        {"cipher-components"},
        [](const std::string& Name) {
            // Only the Blowfish component is created by name; its bases are
            // asked of their own metadata.
            if (TClass c = GetClass(Name)) return std::vector<TClass>{c};
            for (TClass c : {TCxBaseComponent::StaticClassType(), TCxBlowfish::StaticClassType()})
                if (SameText(c->Name, Name)) return std::vector<TClass>{c};
            return std::vector<TClass>{};
        },
        &checked);
    ASSERT_GE(checked, 2u);
    std::string text;
    for (const std::string& f : failures) text += "\n  " + f;
    EXPECT_TRUE(failures.empty()) << failures.size() << " missing:" << text;
}
