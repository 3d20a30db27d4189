#include "report/rpLanguage.h"

#include <filesystem>
#include <system_error>

#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

namespace {

constexpr std::size_t kMaxTextChars = 1023;

const char* const kTags[] = {"<page>",     "<pagecount>", "<documentname>", "<printername>", "<columnno>",
                             "<filename>", "<minbarwidth>", "<maxbarwidth>", "<character>",  "<identifier>",
                             "<name>",     "<count>",     "<message>",      "<length>",      "<no>"};

std::string ArgText(const TVarRec& a) {
    switch (a.VType) {
        case TVarRec::vtInteger:
        case TVarRec::vtInt64: return IntToStr(static_cast<long long>(a.VInt64));
        case TVarRec::vtUInt64: return IntToStr(static_cast<unsigned long long>(a.VUInt64));
        case TVarRec::vtExtended: return FloatToStr(a.VExtended);
        case TVarRec::vtCurrency: return CurrToStr(a.VCurrency);
        case TVarRec::vtString: return a.VString;
        case TVarRec::vtBoolean: return BoolToStr(a.VInt64 != 0, true);
        case TVarRec::vtPointer: return "";
    }
    return "";
}

// Where a bare module name is looked for: beside the program, then here.
std::vector<std::filesystem::path> ModuleFolders() {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) out.push_back(exe.parent_path());
    out.push_back(std::filesystem::current_path(ec));
    return out;
}

}  // namespace

const char* rpLanguageCode(TrpLanguageType Language) {
    switch (Language) {
        case lgDefault: return "dft";
        case lgDanish: return "dan";
        case lgDutch: return "nld";
        case lgEnglish: return "eng";
        case lgFrench: return "fra";
        case lgGerman: return "deu";
        case lgItalian: return "ita";
        case lgPortugueseBrazil: return "ptb";
        case lgPortuguese: return "ptg";
        case lgSpanish: return "esp";
        case lgSpanishMexico: return "esm";
        case lgSwedish: return "sve";
        case lgNorwegian: return "nor";
        case lgCustom: return "cst";
    }
    return "dft";
}

std::string rpTagsToFormat(const std::string& Text) {
    std::string out = Text;
    for (const char* tag : kTags) out = StringReplace(out, tag, "%s", rfReplaceAll);
    return out;
}

std::string rpFillTags(const std::string& Text, const std::vector<TVarRec>& Args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < Text.size();) {
        const char* found = nullptr;
        if (Text[i] == '<')
            for (const char* tag : kTags)
                if (Text.compare(i, std::char_traits<char>::length(tag), tag) == 0) {
                    found = tag;
                    break;
                }
        if (found == nullptr) {
            out.push_back(Text[i++]);
            continue;
        }
        if (next < Args.size()) out += ArgText(Args[next]);
        ++next;
        i += std::char_traits<char>::length(found);
    }
    return out;
}

std::string rpFormatLanguageText(int N, const std::vector<TVarRec>& Args) { return rpFillTags(rpLanguageText(N), Args); }

namespace report {

std::map<int, std::string> ParseLanguageModule(std::string_view Bytes) {
    std::map<int, std::string> texts;
    if (Bytes.substr(0, 3) == "\xEF\xBB\xBF") Bytes.remove_prefix(3);
    while (!Bytes.empty()) {
        const std::size_t end = Bytes.find('\n');
        std::string_view line = Bytes.substr(0, end);
        Bytes.remove_prefix(end == std::string_view::npos ? Bytes.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::size_t i = 0;
        while (i < line.size() && line[i] == ' ') ++i;
        long long n = 0;
        const std::size_t digits = i;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9' && i - digits < 9) n = n * 10 + (line[i++] - '0');
        if (i == digits) continue;
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size() || line[i] != '=') continue;
        std::string text = utf8::Repair(line.substr(i + 1));
        if (utf8::CharCount(text) > kMaxTextChars) text.resize(utf8::ByteOffset(text, kMaxTextChars));
        if (!text.empty()) texts[static_cast<int>(n)] = std::move(text);
    }
    return texts;
}

}  // namespace report

// ---------------------------------------------------------------------------
// Resource manager

void TrpResourceManager::Load(Module& m) {
    Unload(m);
    std::filesystem::path file(m.baseName + "." + rpLanguageCode(language_));
    std::vector<std::filesystem::path> candidates;
    if (m.baseName.find('/') != std::string::npos)
        candidates.push_back(file);
    else
        for (const auto& folder : ModuleFolders()) candidates.push_back(folder / file);
    for (const auto& path : candidates) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) continue;
        try {
            m.texts = report::ParseLanguageModule(fileio::ReadFileBytes(path.string()));
        } catch (const Exception&) {
            continue;  // unreadable: not loaded, the next place or the own table answers
        }
        m.loaded = true;
        ++loadedCount_;
        return;
    }
}

void TrpResourceManager::Unload(Module& m) {
    if (!m.loaded) return;
    m.loaded = false;
    m.texts.clear();
    --loadedCount_;
}

bool TrpResourceManager::SetLanguage(TrpLanguageType Language) {
    std::lock_guard<std::mutex> guard(lock_);
    const TrpLanguageType previous = language_;
    language_ = Language;
    if (Language != previous) loadedMark_ = false;
    if (!loadedMark_) {
        for (Module& m : modules_) Load(m);
        loadedMark_ = true;
    }
    if (Language != lgDefault && loadedCount_ == 0) {
        language_ = previous;
        return false;
    }
    return true;
}

TrpLanguageType TrpResourceManager::Language() const {
    std::lock_guard<std::mutex> guard(lock_);
    return language_;
}

void TrpResourceManager::AddModule(const std::string& BaseName) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const Module& m : modules_)
        if (SameText(m.baseName, BaseName)) return;
    modules_.push_back(Module{BaseName, false, {}});
    Load(modules_.back());
}

void TrpResourceManager::RemoveModule(const std::string& BaseName) {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = modules_.begin(); it != modules_.end(); ++it)
        if (SameText(it->baseName, BaseName)) {
            Unload(*it);
            modules_.erase(it);
            return;
        }
}

int TrpResourceManager::LoadedCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return loadedCount_;
}

std::vector<std::string> TrpResourceManager::Modules() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> out;
    for (const Module& m : modules_) out.push_back(m.baseName);
    return out;
}

std::string TrpResourceManager::Text(int N) const {
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const Module& m : modules_) {
            if (!m.loaded) continue;
            auto it = m.texts.find(N);
            if (it != m.texts.end() && !it->second.empty()) return it->second;
        }
    }
    return rpOwnLanguageText(N);
}

namespace {

struct ManagerSlot {
    std::mutex lock;
    std::shared_ptr<TrpResourceManager> manager;
    bool finalized = false;
};

ManagerSlot& Slot() {
    static ManagerSlot slot;
    return slot;
}

}  // namespace

std::shared_ptr<TrpResourceManager> rpResourceManager() {
    ManagerSlot& s = Slot();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.finalized) return nullptr;
    if (!s.manager) s.manager = std::make_shared<TrpResourceManager>();
    return s.manager;
}

std::string rpLanguageText(int N) {
    const std::shared_ptr<TrpResourceManager> manager = rpResourceManager();
    return manager ? manager->Text(N) : rpOwnLanguageText(N);
}

namespace report {

void FinalizeLanguage() {
    ManagerSlot& s = Slot();
    std::lock_guard<std::mutex> guard(s.lock);
    s.manager.reset();
    s.finalized = true;
}

void InitializeLanguage() {
    ManagerSlot& s = Slot();
    std::lock_guard<std::mutex> guard(s.lock);
    s.finalized = false;
}

}  // namespace report
