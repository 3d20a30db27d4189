#include "report/rpCacheManager.h"

#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <new>

#include "platform/rtl/Format.h"
#include "platform/rtl/Streams.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "report/rpReport.h"
#include "report/rpUtils.h"

namespace {

constexpr int kCacheFailedText = 284;
constexpr const char* kCachePrefix = "cch";

// A memory stream that refuses to grow the manager's memory past its limit,
// as an allocation that fails would: the cacheable's write sees bad_alloc
// and asks the manager to move to files.
class CacheMemoryStream : public TMemoryStream {
public:
    explicit CacheMemoryStream(const TrpCacheManager& Manager) : manager_(Manager) {}

    int64_t Write(const void* Buffer, int64_t Count) override {
        Reserve(Position() + Count);
        return TMemoryStream::Write(Buffer, Count);
    }
    void SetSize(int64_t NewSize) override {
        Reserve(NewSize);
        TMemoryStream::SetSize(NewSize);
    }

private:
    void Reserve(int64_t NewSize) {
        const int64_t growth = NewSize - Size();
        if (growth > 0 && manager_.MemoryInUse() > manager_.MemoryLimit() - growth) throw std::bad_alloc();
    }

    const TrpCacheManager& manager_;
};

// A cache file, already gone from its folder. A size it cannot take is a
// failed write like any other.
class CacheFileStream : public TFileStream {
public:
    explicit CacheFileStream(const std::string& FileName) : TFileStream(FileName, fmOpenReadWrite) {}

    void SetSize(int64_t NewSize) override {
        try {
            TFileStream::SetSize(NewSize);
        } catch (const EFilerError&) {
            throw;
        } catch (const EStreamError& e) {
            throw EWriteError(e.Message());
        }
    }
};

}  // namespace

TClass TrpCacheManager::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCacheManager>("TrpCacheManager", TrpCommunicator::StaticClassType()).Build();
    return &info;
}

TrpCacheManager::TrpCacheManager(TrpCustomReport* Report, TComponent* AOwner)
    : TrpCommunicator(AOwner), report_(Report), tempFolder_(rpGetTempPath()) {
    EventSet().set(rpevCacheWriteFailed);
    EventSet().set(rpevCacheFileFailed);
}

TrpCacheManager::~TrpCacheManager() {
    try {
        Clear();
    } catch (const std::exception&) {
        // An object's reset failing must not keep the streams alive.
    }
}

// ---------------------------------------------------------------------------
// Filling

void TrpCacheManager::Reset() {
    Clear();
    if (report_ != nullptr)
        report_->ForEachObject(
            [this](TObject* Object, void*) {
                if (auto* cacheable = dynamic_cast<TrpCacheable*>(Object)) Register(cacheable);
            },
            nullptr);
    AssignStreams();
    SetCounts();
}

void TrpCacheManager::ResetFromList(const std::vector<TrpCacheable*>& List) {
    Clear();
    for (TrpCacheable* object : List) Register(object);
    AssignStreams();
    SetCounts();
}

void TrpCacheManager::Register(TrpCacheable* Object) {
    if (Object == nullptr || std::find(cacheables_.begin(), cacheables_.end(), Object) != cacheables_.end()) return;
    cacheables_.push_back(Object);
    Object->AddEventNotify(this);
}

void TrpCacheManager::Unregister(TrpCacheable* Object) {
    const auto it = std::find(cacheables_.begin(), cacheables_.end(), Object);
    if (it == cacheables_.end()) return;
    Object->SetCacheStream(nullptr);
    cacheables_.erase(it);
    Object->RemoveEventNotify(this);
}

void TrpCacheManager::Notify(TrpCommunicator* Communicator, int Operation) {
    if (Operation == rpopFreeing) {
        // The object is half gone: only forget it, never call it.
        cacheables_.erase(std::remove_if(cacheables_.begin(), cacheables_.end(),
                                         [Communicator](TrpCacheable* c) {
                                             return static_cast<TrpCommunicator*>(c) == Communicator;
                                         }),
                          cacheables_.end());
    }
    TrpCommunicator::Notify(Communicator, Operation);
}

TrpCacheManager::SizeEntry* TrpCacheManager::FindSize(int Size) {
    for (SizeEntry& entry : sizes_)
        if (entry.size == Size) return &entry;
    return nullptr;
}

void TrpCacheManager::AssignStreams() {
    for (TrpCacheable* object : cacheables_) {
        const int size = object->CacheRecordSize();
        // An object without state has no records to keep.
        if (size <= 0) {
            object->SetCacheStream(nullptr);
            continue;
        }
        SizeEntry* entry = FindSize(size);
        if (entry != nullptr) {
            object->SetCachePosition(++entry->last);
        } else {
            sizes_.push_back(SizeEntry{size, 0, NewStream()});
            entry = &sizes_.back();
            object->SetCachePosition(0);
        }
        object->SetCacheStream(entry->stream.get());
    }
}

void TrpCacheManager::SetCounts() {
    for (TrpCacheable* object : cacheables_)
        if (const SizeEntry* entry = FindSize(object->CacheRecordSize())) object->SetCacheCount(entry->last + 1);
}

void TrpCacheManager::Refresh(TrpCacheable* Object) {
    const SizeEntry* entry = FindSize(Object->CacheRecordSize());
    Object->SetCacheStream(entry != nullptr ? entry->stream.get() : nullptr);
    Object->SetCachePageCount(highestPage_);
    Object->SetCacheCount(entry != nullptr ? entry->last + 1 : 0);
    int before = 0;
    for (const TrpCacheable* other : cacheables_) {
        if (other == Object) break;
        if (other->CacheRecordSize() == Object->CacheRecordSize()) ++before;
    }
    Object->SetCachePosition(before);
}

// ---------------------------------------------------------------------------
// Pages

void TrpCacheManager::SavePage(int Page) {
    for (TrpCacheable* object : std::vector<TrpCacheable*>(cacheables_)) {
        Refresh(object);
        object->SaveToCache(Page);
    }
    highestPage_ = std::max(highestPage_, Page);
}

void TrpCacheManager::RestorePage(int Page) {
    if (Page < 0 || Page > highestPage_) {
        // State of another page or of an earlier run would go unnoticed into
        // the output.
        assert(!"restoring a page that was never saved");
        throw EPrintError(Format("TrpCacheManager.RestorePage: A página %d não foi guardada no cache.", {Page + 1}));
    }
    for (TrpCacheable* object : std::vector<TrpCacheable*>(cacheables_)) {
        Refresh(object);
        object->RestoreFromCache(Page);
    }
}

void TrpCacheManager::Truncate(int Page) {
    if (sizes_.empty() && highestPage_ < 0) return;
    Page = std::max(Page, 0);
    // Truncating beyond what is kept never makes unsaved pages count as saved.
    const int highest = std::min(highestPage_, Page - 1);
    if (truncateResets_) {
        for (TrpCacheable* object : std::vector<TrpCacheable*>(cacheables_)) {
            Refresh(object);
            object->ResetCache(Page);
            object->SetCachePageCount(highest);
        }
    }
    for (SizeEntry& entry : sizes_) {
        const std::int64_t keep = static_cast<std::int64_t>(entry.size) * (entry.last + 1) * Page;
        if (entry.stream->Size() > keep) entry.stream->SetSize(keep);
    }
    highestPage_ = highest;
}

void TrpCacheManager::Clear() {
    for (TrpCacheable* object : std::vector<TrpCacheable*>(cacheables_)) {
        Refresh(object);
        object->ResetCache(0);
        object->SetCachePageCount(-1);
    }
    highestPage_ = -1;
    while (!cacheables_.empty()) Unregister(cacheables_.front());
    sizes_.clear();
    // The files left the folder when they were opened and go with their
    // handles. A file found under one of the names now is another's (the
    // name is free again) and is left alone.
    cacheFileNames_.clear();
}

// ---------------------------------------------------------------------------
// Memory and files

std::int64_t TrpCacheManager::MemoryInUse() const {
    std::int64_t total = 0;
    for (const SizeEntry& entry : sizes_)
        if (auto* memory = dynamic_cast<TMemoryStream*>(entry.stream.get())) total += memory->Size();
    return total;
}

std::unique_ptr<TStream> TrpCacheManager::NewStream() {
    if (mode_ == 0) return std::make_unique<CacheMemoryStream>(*this);
    return NewFileStream();
}

std::unique_ptr<TStream> TrpCacheManager::NewFileStream() {
    const std::string name = rpGetTempFileName(tempFolder_, kCachePrefix);
    if (name.empty()) Fail();
    std::unique_ptr<TStream> stream;
    try {
        stream = std::make_unique<CacheFileStream>(name);
    } catch (const EStreamError&) {
        std::remove(name.c_str());
        Fail();
    }
    ::unlink(name.c_str());
    cacheFileNames_.push_back(name);
    return stream;
}

void TrpCacheManager::SwitchToFiles() {
    if (mode_ == 1) return;
    std::vector<std::unique_ptr<TStream>> files;
    for (SizeEntry& entry : sizes_) {
        files.push_back(NewFileStream());
        TStream& file = *files.back();
        try {
            if (entry.stream->Size() > 0) {
                entry.stream->Seek(0, soBeginning);
                file.CopyFrom(*entry.stream, entry.stream->Size());
            }
        } catch (const EStreamError&) {
            Fail();
        }
        file.Seek(0, soEnd);
    }
    for (std::size_t i = 0; i < sizes_.size(); ++i) sizes_[i].stream = std::move(files[i]);
    mode_ = 1;
    for (TrpCacheable* object : cacheables_) Refresh(object);
}

void TrpCacheManager::Fail() {
    if (report_ != nullptr && report_->Engine() != nullptr && report_->Engine()->Generating()) report_->Engine()->Stop();
    throw EPrintError(rpLanguageText(kCacheFailedText));
}

void TrpCacheManager::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpCommunicator::EventNotify(Sender, EventNumber, Params);
    if (EventNumber == rpevCacheWriteFailed && mode_ == 0)
        SwitchToFiles();
    else if (EventNumber == rpevCacheWriteFailed || EventNumber == rpevCacheFileFailed)
        Fail();
}
