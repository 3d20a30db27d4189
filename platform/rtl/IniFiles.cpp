#include "platform/rtl/IniFiles.h"

#include <sys/stat.h>

#include <unordered_set>

#include "platform/rtl/Format.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

namespace {

bool IsBlank(char c) { return c >= 1 && c <= ' '; }

// Ends an update batch of the caller's list even when filling it throws.
class Batch {
public:
    explicit Batch(TStrings& s) : s_(s) { s_.BeginUpdate(); }
    ~Batch() { s_.EndUpdate(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    TStrings& s_;
};

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

std::string Fold(const std::string& name) { return AnsiUpperCase(Trim(name)); }

// The value part of a key line, as a reader sees it.
std::string ValueOf(const std::string& text) {
    auto eq = text.find('=');
    std::string v = Trim(std::string_view(text).substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

// What to store so that ValueOf gives `value` back: blanks at either end or
// surrounding quotes would be lost on reading, so such a value is quoted.
std::string StoredForm(const std::string& value) {
    if (value.empty()) return value;
    bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (IsBlank(value.front()) || IsBlank(value.back()) || quoted) return '"' + value + '"';
    return value;
}

}  // namespace

TCustomIniFile::TCustomIniFile(const std::string& fileName) : fileName_(fileName) { Load(); }

TCustomIniFile::Stamp TCustomIniFile::StampOnDisk() const {
    Stamp s;
    struct stat st {};
    if (::stat(fileName_.c_str(), &st) != 0) return s;
    s.exists = true;
    s.size = st.st_size;
    s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

void TCustomIniFile::Load() {
    lines_.clear();
    encoding_ = TEncoding::UTF8;
    bom_ = false;
    eol_ = "\n";
    modified_ = false;
    stamp_ = StampOnDisk();
    if (!stamp_.exists) return;
    std::string bytes;
    try {
        bytes = fileio::ReadFileBytes(fileName_);
    } catch (const EFOpenError&) {
        // Gone between the stat and the open: as good as missing.
        stamp_ = StampOnDisk();
        if (!stamp_.exists) return;
        throw;
    }
    Parse(bytes);
}

void TCustomIniFile::ReloadIfChangedOnDisk() {
    if (modified_) return;
    if (!(StampOnDisk() == stamp_)) Load();
}

void TCustomIniFile::Parse(const std::string& bytes) {
    // Which encoding the file is in is decided in one place for every text file.
    textio::DecodedText decoded = textio::Decode(bytes);
    encoding_ = decoded.encoding;
    bom_ = decoded.bom;
    std::string_view body(bytes);
    if (bom_) body.remove_prefix(3);

    bool eolSeen = false;
    std::size_t p = 0;
    while (p < body.size()) {
        std::size_t e = p;
        while (e < body.size() && body[e] != '\n' && body[e] != '\r') ++e;
        Line line;
        std::string_view content = body.substr(p, e - p);
        if (e < body.size()) {
            std::size_t len = (body[e] == '\r' && e + 1 < body.size() && body[e + 1] == '\n') ? 2 : 1;
            line.eol.assign(body.substr(e, len));
            e += len;
        }
        line.raw.assign(body.substr(p, e - p));
        line.text = encoding_ == TEncoding::UTF8 ? std::string(content) : Cp1252ToUtf8(content);
        Classify(line);
        if (!eolSeen && !line.eol.empty()) {
            eol_ = line.eol;
            eolSeen = true;
        }
        lines_.push_back(std::move(line));
        p = e;
    }
}

void TCustomIniFile::Classify(Line& line) {
    line.kind = Line::kOther;
    line.name.clear();
    line.fold.clear();
    std::string t = Trim(line.text);
    if (t.empty() || t[0] == ';' || t[0] == '#') return;
    if (t[0] == '[') {
        auto close = t.find(']');
        line.kind = Line::kSection;
        line.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else {
        auto eq = t.find('=');
        if (eq == std::string::npos) return;
        line.name = Trim(t.substr(0, eq));
        if (line.name.empty()) return;
        line.kind = Line::kKey;
    }
    line.fold = AnsiUpperCase(line.name);
}

std::string TCustomIniFile::EncodeLine(const Line& line) const {
    return textio::Encode(line.text + line.eol, encoding_);
}

std::string TCustomIniFile::Serialize() const {
    std::string out;
    if (bom_) out = "\xEF\xBB\xBF";
    for (const Line& line : lines_) out += line.changed ? EncodeLine(line) : line.raw;
    return out;
}

int TCustomIniFile::FindSection(const std::string& fold) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::kSection && lines_[i].fold == fold) return static_cast<int>(i);
    }
    return -1;
}

int TCustomIniFile::SectionEnd(int header) const {
    std::size_t i = static_cast<std::size_t>(header) + 1;
    while (i < lines_.size() && lines_[i].kind != Line::kSection) ++i;
    return static_cast<int>(i);
}

int TCustomIniFile::FindKey(const std::string& sectionFold, const std::string& identFold) const {
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Line::kSection) {
            inSection = line.fold == sectionFold;
        } else if (inSection && line.kind == Line::kKey && line.fold == identFold) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TCustomIniFile::Touch() {
    modified_ = true;
    Changed();
}

void TCustomIniFile::AppendEol(int index) {
    Line& line = lines_[static_cast<std::size_t>(index)];
    if (!line.eol.empty()) return;
    line.eol = eol_;
    line.raw += eol_;
}

void TCustomIniFile::EnsureRepresentable(const std::string& text) {
    if (encoding_ != TEncoding::ANSI || Cp1252ToUtf8(Utf8ToCp1252(text)) == text) return;
    // Code page 1252 cannot hold the new text: the whole file moves to UTF-8
    // rather than lose characters (and is then read back as UTF-8).
    encoding_ = TEncoding::UTF8;
    for (Line& line : lines_) line.changed = true;
}

// ---------------------------------------------------------------------------
// Reading

bool TCustomIniFile::SectionExists(const std::string& section) {
    Refresh();
    return FindSection(Fold(section)) >= 0;
}

bool TCustomIniFile::ValueExists(const std::string& section, const std::string& ident) {
    Refresh();
    return FindKey(Fold(section), Fold(ident)) >= 0;
}

std::string TCustomIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& def) {
    Refresh();
    int k = FindKey(Fold(section), Fold(ident));
    return k < 0 ? def : ValueOf(lines_[static_cast<std::size_t>(k)].text);
}

int TCustomIniFile::ReadInteger(const std::string& section, const std::string& ident, int def) {
    std::string s = ReadString(section, ident, "");
    return s.empty() ? def : StrToIntDef(s, def);
}

bool TCustomIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) {
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

double TCustomIniFile::ReadFloat(const std::string& section, const std::string& ident, double def) {
    std::string s = ReadString(section, ident, "");
    double v = 0;
    return !s.empty() && TryStrToFloat(s, v) ? v : def;
}

TDateTime TCustomIniFile::ReadDate(const std::string& section, const std::string& ident, TDateTime def) {
    std::string s = ReadString(section, ident, "");
    TDateTime v = 0;
    return !s.empty() && TryStrToDate(s, v) ? v : def;
}

TDateTime TCustomIniFile::ReadDateTime(const std::string& section, const std::string& ident, TDateTime def) {
    std::string s = ReadString(section, ident, "");
    TDateTime v = 0;
    return !s.empty() && TryStrToDateTime(s, v) ? v : def;
}

TDateTime TCustomIniFile::ReadTime(const std::string& section, const std::string& ident, TDateTime def) {
    std::string s = ReadString(section, ident, "");
    TDateTime v = 0;
    return !s.empty() && TryStrToTime(s, v) ? v : def;
}

std::vector<const TCustomIniFile::Line*> TCustomIniFile::SectionKeys(const std::string& section) const {
    std::string fold = Fold(section);
    std::unordered_set<std::string> seen;
    std::vector<const Line*> keys;
    bool inSection = false;
    for (const Line& line : lines_) {
        if (line.kind == Line::kSection) {
            inSection = line.fold == fold;
        } else if (inSection && line.kind == Line::kKey && seen.insert(line.fold).second) {
            keys.push_back(&line);
        }
    }
    return keys;
}

void TCustomIniFile::ReadSection(const std::string& section, TStrings& strings) {
    Refresh();
    Batch batch(strings);
    strings.Clear();
    for (const Line* line : SectionKeys(section)) strings.Add(line->name);
}

void TCustomIniFile::ReadSections(TStrings& strings) {
    Refresh();
    std::unordered_set<std::string> seen;
    Batch batch(strings);
    strings.Clear();
    for (const Line& line : lines_) {
        if (line.kind == Line::kSection && seen.insert(line.fold).second) strings.Add(line.name);
    }
}

void TCustomIniFile::ReadSectionValues(const std::string& section, TStrings& strings) {
    Refresh();
    Batch batch(strings);
    strings.Clear();
    for (const Line* line : SectionKeys(section)) strings.Add(line->name + "=" + ValueOf(line->text));
}

// ---------------------------------------------------------------------------
// Writing

void TCustomIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
    std::string sectionName = Trim(section);
    std::string key = Trim(ident);
    // A line break or a stray "]" / "=" would turn into another section or key.
    if (HasLineBreak(sectionName) || sectionName.find(']') != std::string::npos) {
        throw EIniFileException("Nome de seção inválido para arquivo INI: \"" + section + "\".");
    }
    if (key.empty() || HasLineBreak(key) || key.find('=') != std::string::npos || key[0] == '[' ||
        key[0] == ';' || key[0] == '#') {
        throw EIniFileException("Nome de chave inválido para arquivo INI: \"" + ident + "\" (seção \"" +
                                section + "\").");
    }
    if (HasLineBreak(value)) {
        throw EIniFileException("O valor da chave \"" + ident + "\" (seção \"" + section +
                                "\") tem uma quebra de linha e não pode ser gravado em arquivo INI.");
    }
    Refresh();
    std::string stored = StoredForm(value);
    int k = FindKey(AnsiUpperCase(sectionName), AnsiUpperCase(key));
    if (k >= 0) {
        Line& line = lines_[static_cast<std::size_t>(k)];
        if (ValueOf(line.text) == value) return;
        EnsureRepresentable(value);
        // Only the value changes: the key's spelling and the blanks around "=" stay.
        std::size_t eq = line.text.find('=') + 1;
        while (eq < line.text.size() && (line.text[eq] == ' ' || line.text[eq] == '\t')) ++eq;
        line.text = line.text.substr(0, eq) + stored;
        line.changed = true;
        Touch();
        return;
    }

    EnsureRepresentable(sectionName + key + value);
    Line keyLine;
    keyLine.text = key + "=" + stored;
    keyLine.eol = eol_;
    keyLine.changed = true;
    Classify(keyLine);

    int s = FindSection(AnsiUpperCase(sectionName));
    if (s < 0) {
        if (!lines_.empty()) {
            AppendEol(static_cast<int>(lines_.size()) - 1);
            if (!Trim(lines_.back().text).empty()) {
                Line blank;
                blank.eol = eol_;
                blank.changed = true;
                lines_.push_back(std::move(blank));
            }
        }
        Line header;
        header.text = "[" + sectionName + "]";
        header.eol = eol_;
        header.changed = true;
        Classify(header);
        lines_.push_back(std::move(header));
        lines_.push_back(std::move(keyLine));
    } else {
        // After the section's last key, so that comments and blank lines
        // that end the section stay where they are.
        int end = SectionEnd(s);
        int at = s + 1;
        for (int i = s + 1; i < end; ++i) {
            if (lines_[static_cast<std::size_t>(i)].kind == Line::kKey) at = i + 1;
        }
        AppendEol(at - 1);
        lines_.insert(lines_.begin() + at, std::move(keyLine));
    }
    Touch();
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& ident, int value) {
    WriteString(section, ident, IntToStr(value));
}

void TCustomIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

void TCustomIniFile::WriteFloat(const std::string& section, const std::string& ident, double value) {
    WriteString(section, ident, FloatToStr(value));
}

void TCustomIniFile::WriteDate(const std::string& section, const std::string& ident, TDateTime value) {
    WriteString(section, ident, DateToStr(value));
}

void TCustomIniFile::WriteDateTime(const std::string& section, const std::string& ident, TDateTime value) {
    WriteString(section, ident, DateTimeToStr(value));
}

void TCustomIniFile::WriteTime(const std::string& section, const std::string& ident, TDateTime value) {
    WriteString(section, ident, TimeToStr(value));
}

void TCustomIniFile::EraseSection(const std::string& section) {
    Refresh();
    std::string fold = Fold(section);
    bool erased = false;
    for (int s = FindSection(fold); s >= 0; s = FindSection(fold)) {
        lines_.erase(lines_.begin() + s, lines_.begin() + SectionEnd(s));
        erased = true;
    }
    if (erased) Touch();
}

void TCustomIniFile::DeleteKey(const std::string& section, const std::string& ident) {
    Refresh();
    std::string sectionFold = Fold(section);
    std::string identFold = Fold(ident);
    bool deleted = false;
    for (int k = FindKey(sectionFold, identFold); k >= 0; k = FindKey(sectionFold, identFold)) {
        lines_.erase(lines_.begin() + k);
        deleted = true;
    }
    if (deleted) Touch();
}

void TCustomIniFile::GetStrings(TStrings& list) {
    Refresh();
    Batch batch(list);
    list.Clear();
    for (const Line& line : lines_) list.Add(line.text);
}

void TCustomIniFile::SetStrings(const TStrings& list) {
    std::string text;
    for (int i = 0; i < list.Count(); ++i) text += list[i] + eol_;
    TEncoding encoding = encoding_;
    bool bom = bom_;
    if (encoding == TEncoding::ANSI && Cp1252ToUtf8(Utf8ToCp1252(text)) != text) encoding = TEncoding::UTF8;
    std::string eol = eol_;
    lines_.clear();
    Parse(textio::Encode(text, encoding, bom));
    // Plain ASCII decodes as UTF-8; the file keeps the encoding it had.
    encoding_ = encoding;
    eol_ = eol;
    Touch();
}

void TCustomIniFile::Clear() {
    if (lines_.empty()) return;
    lines_.clear();
    Touch();
}

void TCustomIniFile::UpdateFile() {
    if (!modified_) return;
    // Settings files keep passwords (the database's, the mail server's): a
    // new one is not readable by the other users of the machine.
    // Only a regular file is ever written: a pipe or a device at the name
    // is refused, never opened (a pipe nobody reads would hold the program).
    {
        fileio::AtomicFile file(fileName_, true);
        file.SetNewFileMode(fileio::PrivateFileMode(fileName_), true);
        file.Write(Serialize());
        file.Commit();
    }
    for (Line& line : lines_) {
        if (line.changed) {
            line.raw = EncodeLine(line);
            line.changed = false;
        }
    }
    modified_ = false;
    stamp_ = StampOnDisk();
}

void TIniFile::Changed() {
    try {
        UpdateFile();
    } catch (...) {
        // What is in memory must match the file: the change that could not
        // be written is dropped, and the caller learns why.
        Load();
        throw;
    }
}
