#include "report/rpCache.h"

#include "platform/rtl/Streams.h"
#include "platform/rtl/SysUtils.h"

TClass TrpCacheable::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCacheable>("TrpCacheable", TrpRelative::StaticClassType()).Build();
    return &info;
}

TrpCacheable::TrpCacheable(TComponent* AOwner) : TrpRelative(AOwner) {}

std::int64_t TrpCacheable::CacheRecordOffset(int Page) const {
    return (static_cast<std::int64_t>(Page) * cacheCount_ + cachePosition_) * cacheRecordSize_;
}

bool TrpCacheable::ReadCacheRecord(int Page, void* Buffer) {
    if (cacheStream_ == nullptr || cacheRecordSize_ <= 0 || Page < 0) return false;
    const std::int64_t at = CacheRecordOffset(Page);
    if (at + cacheRecordSize_ > cacheStream_->Size()) return false;
    cacheStream_->Seek(at, soBeginning);
    return cacheStream_->Read(Buffer, cacheRecordSize_) == cacheRecordSize_;
}

bool TrpCacheable::TryWrite(int Page, const void* Buffer) {
    try {
        const std::int64_t at = CacheRecordOffset(Page);
        // A gap before the record is filled with zeros, so that a record is
        // never written at a place the stream cannot reach.
        if (cacheStream_->Size() < at) cacheStream_->SetSize(at);
        cacheStream_->Seek(at, soBeginning);
        cacheStream_->WriteBuffer(Buffer, cacheRecordSize_);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const EFilerError&) {
        return false;
    }
}

bool TrpCacheable::WriteCacheRecord(int Page, const void* Buffer) {
    if (cacheStream_ == nullptr || cacheRecordSize_ <= 0 || Page < 0) return false;
    if (TryWrite(Page, Buffer)) return true;
    SendEventNotify(this, rpevCacheWriteFailed, nullptr);
    if (cacheStream_ == nullptr) return false;
    if (TryWrite(Page, Buffer)) return true;
    SendEventNotify(this, rpevCacheFileFailed, nullptr);
    return false;
}

void TrpCacheRecord::PutInt(int At, std::int32_t Value) {
    const auto u = static_cast<std::uint32_t>(Value);
    for (int i = 0; i < 4; ++i) bytes_.at(static_cast<std::size_t>(At + i)) = static_cast<char>((u >> (8 * i)) & 0xFF);
}

std::int32_t TrpCacheRecord::GetInt(int At) const {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_.at(static_cast<std::size_t>(At + i)))) << (8 * i);
    return static_cast<std::int32_t>(u);
}
