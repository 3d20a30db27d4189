#include "preview/rpTextSearch.h"

#include <atomic>

namespace {
std::atomic<TrpTextSearchEngine*> engine{nullptr};
}

TrpTextSearchEngine* rpSetTextSearchEngine(TrpTextSearchEngine* Engine) { return engine.exchange(Engine); }

TrpTextSearchEngine* rpTextSearchEngine() { return engine.load(); }
