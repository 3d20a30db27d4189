// Index keys: the bytes an index stores for a value must order and tie
// exactly as the value comparison does, for every option an index field can
// have, texts with accents, case ties and broken UTF-8 included.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "memtable/mtIndex.h"
#include "platform/rtl/Strings.h"

namespace {

int KeyOrder(const std::string& a, const std::string& b) {
    return memtable::CompareKeyBytes(reinterpret_cast<const uint8_t*>(a.data()), a.size(),
                                     reinterpret_cast<const uint8_t*>(b.data()), b.size());
}

std::string Key(const std::string* text, TmtifoOptions options) {
    std::string key;
    if (text == nullptr)
        memtable::AppendKeyBytes(key, nullptr, 0, ftString, options);
    else
        memtable::AppendKeyBytes(key, reinterpret_cast<const uint8_t*>(text->c_str()),
                                 static_cast<int32_t>(text->size() + 1), ftString, options);
    return key;
}

std::vector<std::string> RandomTexts(int count, unsigned seed) {
    static const char* const pieces[] = {
        "a", "A", "á", "Á", "à", "ã", "Ã", "â", "e", "é", "É", "ê", "i", "í", "o", "ó", "õ", "Õ", "ô", "u", "ú",
        "ü", "c", "ç", "Ç", "n", "ñ", "z", "Z", " ", "-", ".", "0", "9", "'", "ß", "\xC2\xAD", "\xFF", "\xC3",
        "João", "JOÃO", "joao", "Conceição", "CONCEICAO", "{", "~"};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> len(0, 5);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        std::string s;
        for (int n = len(rng); n > 0; --n) s += pieces[pick(rng)];
        out.push_back(s);
    }
    return out;
}

const std::vector<TmtifoOptions> kTextOptions = {
    {}, {mtifoCaseInsensitive}, {mtifoDescending}, {mtifoCaseInsensitive, mtifoDescending},
    {mtifoIgnoreLocale}, {mtifoIgnoreLocale, mtifoCaseInsensitive}, {mtifoIgnoreLocale, mtifoDescending}};

TEST(IndexKey, TextKeysOrderAndTieAsTheComparisonOnRandomAccentedTexts) {
    const auto texts = RandomTexts(10000, 77);
    for (const TmtifoOptions& o : kTextOptions) {
        std::vector<std::string> keys;
        for (const auto& t : texts) keys.push_back(Key(&t, o));
        int ties = 0;
        for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
            for (std::size_t j : {i + 1, (i * 7919) % texts.size()}) {
                bool full = true;
                const int expected = memtable::CompareFields(reinterpret_cast<const uint8_t*>(texts[i].c_str()),
                                                             reinterpret_cast<const uint8_t*>(texts[j].c_str()),
                                                             ftString, o, full, 1024);
                ASSERT_EQ(KeyOrder(keys[i], keys[j]), expected)
                    << "'" << texts[i] << "' / '" << texts[j] << "' options " << o.Bits();
                if (expected == 0 && texts[i] != texts[j]) ++ties;
            }
        }
        if (o.Contains(mtifoCaseInsensitive) && !o.Contains(mtifoIgnoreLocale))
            EXPECT_GT(ties, 0) << "case ties were exercised";
    }
}

// Long runs of characters of common accent and case weights, around and past
// the longest run one byte of a key can stand for, against texts that break
// them with a higher or lower weight or end them.
TEST(IndexKey, TextKeysOrderAsTheComparisonAcrossLongRunsOfPlainLetters) {
    std::vector<std::string> texts;
    for (int n : {0, 1, 2, 124, 125, 126, 127, 128, 251, 252, 253, 254})
        for (const char* head : {"", "\xC3\x81"})
            for (const char* tail : {"", "a", "b", "A", "\xC3\xA1", " ", "\xC3\xA3o"})
                texts.push_back(head + std::string(static_cast<std::size_t>(n), 'a') + tail);
    for (const TmtifoOptions& o : {TmtifoOptions{}, TmtifoOptions{mtifoCaseInsensitive}, TmtifoOptions{mtifoDescending}}) {
        std::vector<std::string> keys;
        for (const auto& t : texts) keys.push_back(Key(&t, o));
        for (std::size_t i = 0; i < texts.size(); ++i)
            for (std::size_t j = 0; j < texts.size(); ++j) {
                bool full = true;
                const int expected = memtable::CompareFields(reinterpret_cast<const uint8_t*>(texts[i].c_str()),
                                                             reinterpret_cast<const uint8_t*>(texts[j].c_str()),
                                                             ftString, o, full, 1024);
                ASSERT_EQ(KeyOrder(keys[i], keys[j]), expected)
                    << texts[i].size() << " / " << texts[j].size() << " bytes, options " << o.Bits();
            }
    }
}

TEST(IndexKey, ANullSortsFirstAscendingAndLastDescending) {
    const std::string empty, a = "a";
    for (const TmtifoOptions& o : kTextOptions) {
        const int expected = o.Contains(mtifoDescending) ? 1 : -1;
        EXPECT_EQ(KeyOrder(Key(nullptr, o), Key(&empty, o)), expected);
        EXPECT_EQ(KeyOrder(Key(nullptr, o), Key(&a, o)), expected);
        EXPECT_EQ(KeyOrder(Key(nullptr, o), Key(nullptr, o)), 0);
    }
}

TEST(IndexKey, KeysOfTwoFieldsCompareFieldByField) {
    // A text that is the start of another must not let the second field
    // decide: "Ana" + 9 before "Ana Maria" + 1.
    auto key = [](const std::string& text, int32_t n, TmtifoOptions o) {
        std::string k = Key(&text, o);
        memtable::AppendKeyBytes(k, reinterpret_cast<const uint8_t*>(&n), 4, ftInteger, {});
        return k;
    };
    for (const TmtifoOptions& o : kTextOptions) {
        const int first = o.Contains(mtifoDescending) ? 1 : -1;
        EXPECT_EQ(KeyOrder(key("Ana", 9, o), key("Ana Maria", 1, o)), first) << o.Bits();
        EXPECT_EQ(KeyOrder(key("Ana", 1, o), key("Ana", 2, o)), -1) << o.Bits();
        EXPECT_EQ(KeyOrder(key("", 5, o), key("a", 1, o)), first) << o.Bits();
    }
    EXPECT_EQ(KeyOrder(key("joão", 1, {mtifoCaseInsensitive}), key("JOÃO", 1, {mtifoCaseInsensitive})), 0);
    EXPECT_EQ(KeyOrder(key("joão", 1, {mtifoCaseInsensitive}), key("JOÃO", 2, {mtifoCaseInsensitive})), -1);
}

template <typename T>
void CheckNumbers(TFieldType type, const std::vector<T>& values) {
    for (TmtifoOptions o : {TmtifoOptions{}, TmtifoOptions{mtifoDescending}}) {
        for (const T& a : values) {
            for (const T& b : values) {
                std::string ka, kb;
                memtable::AppendKeyBytes(ka, reinterpret_cast<const uint8_t*>(&a), sizeof(T), type, o);
                memtable::AppendKeyBytes(kb, reinterpret_cast<const uint8_t*>(&b), sizeof(T), type, o);
                bool full = true;
                const int expected = memtable::CompareFields(reinterpret_cast<const uint8_t*>(&a),
                                                             reinterpret_cast<const uint8_t*>(&b), type, o, full, 1024);
                ASSERT_EQ(KeyOrder(ka, kb), expected) << a << " / " << b << " type " << type;
            }
        }
    }
}

TEST(IndexKey, NumberKeysOrderAsTheComparison) {
    const double inf = std::numeric_limits<double>::infinity();
    CheckNumbers<double>(ftFloat, {-inf, -1e300, -2.5, -1, -1e-300, -0.0, 0.0, 1e-300, 0.1, 1, 2.5, 42000.75,
                                   1e300, inf});
    CheckNumbers<double>(ftDateTime, {-693593.0, -1.5, 0.0, 0.25, 46000.5, 2958465.99});
    CheckNumbers<int32_t>(ftInteger, {std::numeric_limits<int32_t>::min(), -100000, -1, 0, 1, 65536,
                                      std::numeric_limits<int32_t>::max()});
    CheckNumbers<int16_t>(ftSmallint, {-32768, -300, -1, 0, 1, 255, 256, 32767});
    CheckNumbers<uint16_t>(ftWord, {0, 1, 255, 256, 32768, 65535});
    CheckNumbers<int64_t>(ftLargeint, {std::numeric_limits<int64_t>::min(), -(int64_t{1} << 40), -1, 0, 1,
                                       int64_t{1} << 40, std::numeric_limits<int64_t>::max()});
    CheckNumbers<int16_t>(ftBoolean, {0, 1, 2, -1});  // any non-zero value is true
}

}  // namespace
