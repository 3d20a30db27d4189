#pragma once
// The monitor's answer files read as XML documents. An answer may be written
// on one line or pretty-printed, with or without the NF-e namespace; only
// the elements' local names count, compared without regard to case, as the
// monitor's versions differ in how they spell them. The parser never reaches
// the network nor loads an outside DTD, and text comes back as UTF-8
// whatever encoding the file declares.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace billing::nfe {

struct XmlElement {
    std::string name;  // local name, as written
    std::string text;  // the element's own text, entities resolved, untrimmed
    std::vector<XmlElement> children;

    // This element or the first descendant (document order) named `localName`.
    const XmlElement* Find(std::string_view localName) const;
    // This element and every descendant named `localName`, in document order;
    // an element found is not searched further.
    std::vector<const XmlElement*> FindAll(std::string_view localName) const;
    // The trimmed text of Find(localName); nullopt when there is none.
    std::optional<std::string> Text(std::string_view localName) const;
};

// The document's root element; nullopt with `problem` (Portuguese) when the
// bytes are not a well-formed XML document.
std::optional<XmlElement> ParseXml(const std::string& bytes, std::string* problem = nullptr);

}  // namespace billing::nfe
