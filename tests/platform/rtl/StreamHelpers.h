#pragma once
// What the stream tests do to a component or a stored stream: read a
// reference stream, write a component, convert between the binary and the
// text form.
#include <string>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Streams.h"
#include "tests/support/TestSupport.h"

namespace streamtest {

inline std::string Ref(const std::string& name) {
    return testsupport::ReadAll(testsupport::DataPath("rtl/streams/" + name));
}

inline std::string Save(TComponent* c) {
    TMemoryStream s;
    WriteComponent(s, c);
    return s.DataBytes();
}

inline std::string ToText(const std::string& bin) {
    TStringStream in(bin), out;
    ObjectBinaryToText(in, out);
    return out.DataString();
}

inline std::string ToBinary(const std::string& text) {
    TStringStream in(text), out;
    ObjectTextToBinary(in, out);
    return out.DataString();
}

}  // namespace streamtest
