#include "billing/nfe/AnswerXml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include "platform/os/SharedLibrary.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

namespace billing::nfe {

namespace {

// libxml2, opened with the first answer read (see SharedLibrary.h): the
// login and most sessions read none, and loading it at start-up cost every
// start its relocations and symbol tables.
struct Xml {
    os::SharedLibrary library{{"libxml2.so.2"}, "ler as respostas do monitor da NF-e"};
    decltype(&::xmlSetGenericErrorFunc) setGenericErrorFunc = nullptr;
    decltype(&::xmlResetLastError) resetLastError = nullptr;
    decltype(&::xmlReadMemory) readMemory = nullptr;
    decltype(&::xmlDocGetRootElement) docGetRootElement = nullptr;
    decltype(&::xmlGetLastError) getLastError = nullptr;
    decltype(&::xmlFreeDoc) freeDoc = nullptr;
    Xml() {
        library.Bind(setGenericErrorFunc, "xmlSetGenericErrorFunc");
        library.Bind(resetLastError, "xmlResetLastError");
        library.Bind(readMemory, "xmlReadMemory");
        library.Bind(docGetRootElement, "xmlDocGetRootElement");
        library.Bind(getLastError, "xmlGetLastError");
        library.Bind(freeDoc, "xmlFreeDoc");
    }
};

// Without the library no answer can be judged: an error, never a malformed
// answer that would be set aside.
const Xml& OpenXml() { return os::OpenOnce<Xml>(); }

// Silences libxml2's default printing of errors to stderr: the caller
// reports the problem in its own words.
void Quiet(void*, const char*, ...) {}

XmlElement Convert(xmlNode* node) {
    XmlElement e;
    e.name = reinterpret_cast<const char*>(node->name);
    for (xmlNode* child = node->children; child != nullptr; child = child->next) {
        switch (child->type) {
        case XML_ELEMENT_NODE:
            e.children.push_back(Convert(child));
            break;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (child->content != nullptr) e.text += reinterpret_cast<const char*>(child->content);
            break;
        default:
            // Entities a document declares for itself are never expanded: no
            // answer of the monitor uses them, and expanding them is how a
            // small file asks for gigabytes.
            break;
        }
    }
    return e;
}

}  // namespace

const XmlElement* XmlElement::Find(std::string_view localName) const {
    if (SameText(name, localName)) return this;
    for (const XmlElement& c : children)
        if (const XmlElement* found = c.Find(localName)) return found;
    return nullptr;
}

std::vector<const XmlElement*> XmlElement::FindAll(std::string_view localName) const {
    std::vector<const XmlElement*> out;
    if (SameText(name, localName)) {
        out.push_back(this);
        return out;
    }
    for (const XmlElement& c : children) {
        std::vector<const XmlElement*> below = c.FindAll(localName);
        out.insert(out.end(), below.begin(), below.end());
    }
    return out;
}

std::optional<std::string> XmlElement::Text(std::string_view localName) const {
    const XmlElement* e = Find(localName);
    if (e == nullptr) return std::nullopt;
    return Trim(e->text);
}

std::optional<XmlElement> ParseXml(const std::string& bytes, std::string* problem) {
    const Xml& xml = OpenXml();
    xml.setGenericErrorFunc(nullptr, Quiet);
    xml.resetLastError();
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDoc* doc = xml.readMemory(bytes.data(), static_cast<int>(bytes.size()), "resposta.xml", nullptr, options);
    xmlNode* root = doc != nullptr ? xml.docGetRootElement(doc) : nullptr;
    if (root == nullptr) {
        if (problem != nullptr) {
            const xmlError* err = xml.getLastError();
            std::string detail = err != nullptr && err->message != nullptr ? Trim(err->message) : std::string();
            *problem = "não é um documento XML válido";
            if (err != nullptr) *problem += " (linha " + IntToStr(err->line) + ": " + detail + ")";
        }
        if (doc != nullptr) xml.freeDoc(doc);
        return std::nullopt;
    }
    XmlElement e = Convert(root);
    xml.freeDoc(doc);
    return e;
}

}  // namespace billing::nfe
