#pragma once
// The dialogs a print run shows (preview, print, cancel, auto-search,
// template error...) are declared by the report library as abstract form
// classes and built by the preview layer above it, which registers its
// concrete class for each abstract one at start-up. The producer asks for
// the class by the abstract class's name, since it cannot see the preview
// layer; no class registered means the run goes on without that dialog
// (or, for the previewer, fails with EPrintError).
//
// One registry for the process, keyed by the abstract class name without
// regard to letter case; safe to use from any thread.
#include <string>

#include "platform/rtl/TypInfo.h"

// Registers Concrete for Abstract, replacing an earlier one. A concrete
// class that does not descend from the abstract one is refused with
// ETessaryError: the producer would treat it as the abstract form.
void RegisterFormClass(TClass Abstract, TClass Concrete);
// Nothing when none is registered.
void UnregisterFormClass(TClass Abstract);
void UnregisterFormClass(const std::string& AbstractName);
// The concrete class registered for the abstract class; nullptr when none.
TClass GetFormClass(TClass Abstract);
TClass GetFormClass(const std::string& AbstractName);
