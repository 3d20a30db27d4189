#pragma once
// Settings files in the INI format ("[Section]" headers and "Key=Value" lines).
//
// A file is changed line by line: comments, blank lines, unknown sections,
// the order of keys and the exact bytes of every line that is not written
// stay as they were. Sections and keys are found without regard to case
// (accented letters included). The file is read as UTF-8, or as code page
// 1252 when it is not valid UTF-8 (an INI written by an older Windows
// program), and written back in the encoding it was read in. Writing goes
// through a temporary file that replaces the old one only when complete.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/SysUtils.h"

// A section, key or value that the format cannot hold (a line break in a
// value, "=" in a key...). Raised before anything is changed.
FAT_DECLARE_EXCEPTION(EIniFileException, Exception)

class TCustomIniFile : public TObject {
public:
    FAT_CLASS_NAME(TCustomIniFile)

    // Reads the file when it exists; a missing file is an empty one.
    // EFOpenError when it exists but cannot be read.
    explicit TCustomIniFile(const std::string& fileName);
    ~TCustomIniFile() override = default;
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }
    // The encoding the file is written in (what it was read in; UTF-8 for a new file).
    TEncoding Encoding() const { return encoding_; }

    bool SectionExists(const std::string& section);
    bool ValueExists(const std::string& section, const std::string& ident);

    // Surrounding blanks are dropped; a value written between matching quotes
    // ("..." or '...') is read without them.
    std::string ReadString(const std::string& section, const std::string& ident, const std::string& def);
    // Decimal, or hexadecimal with "$" or "0x"; def when absent or not a number.
    int ReadInteger(const std::string& section, const std::string& ident, int def);
    // A number other than 0 is true; def when absent or not a number.
    bool ReadBool(const std::string& section, const std::string& ident, bool def);
    // In the format settings' notation (decimal comma); def when absent or invalid.
    double ReadFloat(const std::string& section, const std::string& ident, double def);
    TDateTime ReadDate(const std::string& section, const std::string& ident, TDateTime def);
    TDateTime ReadDateTime(const std::string& section, const std::string& ident, TDateTime def);
    TDateTime ReadTime(const std::string& section, const std::string& ident, TDateTime def);

    // Replaces the value of an existing key in place, or adds the key at the
    // end of its section (adding the section at the end of the file).
    // EIniFileException when the section, key or value cannot be stored.
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& ident, int value);
    // "1" or "0".
    void WriteBool(const std::string& section, const std::string& ident, bool value);
    void WriteFloat(const std::string& section, const std::string& ident, double value);
    void WriteDate(const std::string& section, const std::string& ident, TDateTime value);
    void WriteDateTime(const std::string& section, const std::string& ident, TDateTime value);
    void WriteTime(const std::string& section, const std::string& ident, TDateTime value);

    // The keys of a section, in file order.
    void ReadSection(const std::string& section, TStrings& strings);
    void ReadSection(const std::string& section, TStrings* strings) { ReadSection(section, *strings); }
    // The section names, in file order.
    void ReadSections(TStrings& strings);
    void ReadSections(TStrings* strings) { ReadSections(*strings); }
    // "key=value" for every key of a section.
    void ReadSectionValues(const std::string& section, TStrings& strings);
    void ReadSectionValues(const std::string& section, TStrings* strings) { ReadSectionValues(section, *strings); }

    // Removes the section with its keys and the comments inside it.
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& ident);

    // The whole content, one line per line of the file.
    void GetStrings(TStrings& list);
    // Replaces the whole content (kept in the file's encoding when it can hold it).
    void SetStrings(const TStrings& list);
    // Empties the content.
    void Clear();

    // Writes the content to the file when it changed since it was read or written.
    void UpdateFile();

protected:
    // After every change: a TIniFile writes at once, a TMemIniFile waits for UpdateFile.
    virtual void Changed() {}
    // Before every access: a TIniFile rereads a file that another writer changed.
    virtual void Refresh() {}
    void ReloadIfChangedOnDisk();
    // Rereads the file, dropping changes not yet written.
    void Load();
    bool Modified() const { return modified_; }

private:
    struct Line {
        enum Kind { kOther, kSection, kKey };
        std::string raw;   // the bytes as read, line break included
        bool changed = false;  // raw no longer matches text: encode text when writing
        std::string text;  // UTF-8, without the line break
        std::string eol;   // "\n", "\r\n", "\r" or "" (last line of a file)
        Kind kind = kOther;
        std::string name;  // section name or key, as written (trimmed)
        std::string fold;  // name in upper case, for lookups
    };

    void Parse(const std::string& bytes);
    static void Classify(Line& line);
    std::string Serialize() const;
    std::string EncodeLine(const Line& line) const;
    // Indexes of the lines of a section (headers included) by occurrence.
    int FindSection(const std::string& fold) const;
    int FindKey(const std::string& sectionFold, const std::string& identFold) const;
    int SectionEnd(int header) const;
    // The key lines of a section, only the first where a key is repeated.
    std::vector<const Line*> SectionKeys(const std::string& section) const;
    void Touch();
    void EnsureRepresentable(const std::string& text);
    void AppendEol(int index);

    std::string fileName_;
    std::vector<Line> lines_;
    TEncoding encoding_ = TEncoding::UTF8;
    bool bom_ = false;
    std::string eol_ = "\n";
    bool modified_ = false;
    // What the file on disk was when last read or written, to notice another writer.
    struct Stamp {
        bool exists = false;
        int64_t size = 0;
        int64_t mtimeNs = 0;
        uint64_t inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp StampOnDisk() const;
    Stamp stamp_;
};

// Keeps changes in memory until UpdateFile (never written on destruction).
class TMemIniFile : public TCustomIniFile {
public:
    FAT_CLASS_NAME(TMemIniFile)
    explicit TMemIniFile(const std::string& fileName) : TCustomIniFile(fileName) {}
};

// Every change reaches the file at once, and every access sees what other
// writers (another TIniFile on the same file) wrote meanwhile.
class TIniFile : public TCustomIniFile {
public:
    FAT_CLASS_NAME(TIniFile)
    explicit TIniFile(const std::string& fileName) : TCustomIniFile(fileName) {}

protected:
    void Changed() override;
    void Refresh() override { ReloadIfChangedOnDisk(); }
};
