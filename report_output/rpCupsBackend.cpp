#include "report_output/rpCupsBackend.h"

#include <cups/cups.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/os/SharedLibrary.h"

namespace {

// libcups, opened when printing first needs it: linked into the program it
// brought TLS, Kerberos and Avahi into every start. The header gives only
// the types and constants.
#define FAT_CUPS_FUNCTIONS(F) \
    F(httpConnect2) \
    F(httpClose) \
    F(cupsFreeDests) \
    F(cupsGetDests2) \
    F(ippGetCount) \
    F(ippGetString) \
    F(cupsGetOption) \
    F(httpAssembleURIf) \
    F(ippPort) \
    F(ippFindAttribute) \
    F(ippGetInteger) \
    F(ippNewRequest) \
    F(ippAddString) \
    F(ippAddStrings) \
    F(cupsDoRequest) \
    F(cupsLastError) \
    F(ippDelete) \
    F(ippGetCollection) \
    F(pwgMediaForPWG) \
    F(ippGetValueTag) \
    F(ippGetRange) \
    F(ippGetResolution) \
    F(cupsGetDest) \
    F(cupsAddOption) \
    F(cupsUser) \
    F(cupsEncodeOptions2) \
    F(cupsFreeOptions) \
    F(cupsDoFileRequest) \
    F(cupsLastErrorString)

struct CupsLibrary {
#define FAT_CUPS_MEMBER(Name) decltype(&::Name) Name = nullptr;
    FAT_CUPS_FUNCTIONS(FAT_CUPS_MEMBER)
#undef FAT_CUPS_MEMBER
};

struct LoadedCups {
    os::SharedLibrary library{{"libcups.so.2"}, "a impressão"};
    CupsLibrary api;
    LoadedCups() {
#define FAT_CUPS_BIND(Name) library.Bind(api.Name, #Name);
        FAT_CUPS_FUNCTIONS(FAT_CUPS_BIND)
#undef FAT_CUPS_BIND
    }
};

LoadedCups& Loaded() {
    static LoadedCups loaded;
    return loaded;
}

// Only after CupsMissing() said the library is there.
const CupsLibrary& Cups() { return Loaded().api; }

// The reason printing cannot start, in Portuguese; empty when it can.
std::string CupsMissing() {
    const os::SharedLibrary& l = Loaded().library;
    return l.Loaded() ? std::string() : l.Error();
}


// One connection per call: libcups connections are not shared between
// threads, and a private server is reached by address.
class Connection {
public:
    explicit Connection(const std::string& Server) {
        if (Server.empty()) return;
        std::string host = Server;
        int port = 631;
        const std::size_t colon = Server.rfind(':');
        if (colon != std::string::npos) {
            host = Server.substr(0, colon);
            port = std::atoi(Server.c_str() + colon + 1);
        }
        http_ = Cups().httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
        failed_ = http_ == nullptr;
    }
    ~Connection() {
        if (http_ != nullptr) Cups().httpClose(http_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    // CUPS_HTTP_DEFAULT (nullptr) for the system's server.
    http_t* Http() const { return http_; }
    bool Failed() const { return failed_; }

private:
    http_t* http_ = nullptr;
    bool failed_ = false;
};

struct Dests {
    int count = 0;
    cups_dest_t* dests = nullptr;
    ~Dests() {
        if (dests != nullptr) Cups().cupsFreeDests(count, dests);
    }
};

void SplitDestination(const std::string& Destination, std::string& Name, std::string& Instance) {
    const std::size_t slash = Destination.find('/');
    Name = Destination.substr(0, slash);
    Instance = slash == std::string::npos ? "" : Destination.substr(slash + 1);
}

std::vector<std::string> Keywords(ipp_attribute_t* Attr) {
    std::vector<std::string> out;
    if (Attr == nullptr) return out;
    for (int i = 0; i < Cups().ippGetCount(Attr); ++i)
        if (const char* s = Cups().ippGetString(Attr, i, nullptr)) out.emplace_back(s);
    return out;
}

std::string Option(const cups_dest_t* Dest, const char* Name) {
    const char* v = Cups().cupsGetOption(Name, Dest->num_options, Dest->options);
    return v != nullptr ? v : "";
}

}  // namespace

TrpCupsBackend::TrpCupsBackend(std::string Server) : server_(std::move(Server)) {}

std::vector<TrpBackendDestination> TrpCupsBackend::Destinations() {
    std::vector<TrpBackendDestination> out;
    // Without libcups there is no printer to list.
    if (!CupsMissing().empty()) return out;
    Connection c(server_);
    if (c.Failed()) return out;
    Dests d;
    d.count = Cups().cupsGetDests2(c.Http(), &d.dests);
    for (int i = 0; i < d.count; ++i) {
        const cups_dest_t& dest = d.dests[i];
        TrpBackendDestination t;
        t.Name = dest.name != nullptr ? dest.name : "";
        t.Instance = dest.instance != nullptr ? dest.instance : "";
        t.IsDefault = dest.is_default != 0;
        t.DeviceUri = Option(&dest, "device-uri");
        if (!t.Name.empty()) out.push_back(std::move(t));
    }
    return out;
}

namespace {

std::string PrinterUri(const std::string& Name) {
    char uri[1024];
    Cups().httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", Cups().ippPort(), "/printers/%s",
                     Name.c_str());
    return uri;
}

int IntegerIn(ipp_t* Collection, const char* Name) {
    ipp_attribute_t* a = Collection != nullptr ? Cups().ippFindAttribute(Collection, Name, IPP_TAG_INTEGER) : nullptr;
    return a != nullptr ? Cups().ippGetInteger(a, 0) : 0;
}

std::string StringOf(ipp_t* Response, const char* Name) {
    ipp_attribute_t* a = Cups().ippFindAttribute(Response, Name, IPP_TAG_ZERO);
    const char* v = a != nullptr ? Cups().ippGetString(a, 0, nullptr) : nullptr;
    return v != nullptr ? v : "";
}

}  // namespace

// The queue is asked by IPP itself, by its name on the server: libcups's
// destination calls address a local queue by its device URI when it has
// one, which a server reached by address refuses.
bool TrpCupsBackend::Capabilities(const std::string& Destination, TrpBackendCapabilities& Caps) {
    Caps = TrpBackendCapabilities{};
    if (!CupsMissing().empty()) return false;
    Connection c(server_);
    if (c.Failed()) return false;
    std::string name, instance;
    SplitDestination(Destination, name, instance);
    ipp_t* request = Cups().ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, PrinterUri(name).c_str());
    static const char* const wanted[] = {"media-supported",         "media-default",
                                         "media-col-default",       "media-source-supported",
                                         "media-source-default",    "sides-supported",
                                         "print-color-mode-supported", "copies-supported",
                                         "printer-resolution-default", "printer-resolution-supported"};
    Cups().ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(sizeof wanted / sizeof *wanted), nullptr, wanted);
    ipp_t* response = Cups().cupsDoRequest(c.Http(), request, "/");
    if (response == nullptr || Cups().cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        Cups().ippDelete(response);
        return false;
    }
    ipp_t* col = nullptr;
    if (ipp_attribute_t* a = Cups().ippFindAttribute(response, "media-col-default", IPP_TAG_BEGIN_COLLECTION))
        col = Cups().ippGetCollection(a, 0);
    const int left = IntegerIn(col, "media-left-margin"), top = IntegerIn(col, "media-top-margin");
    const int right = IntegerIn(col, "media-right-margin"), bottom = IntegerIn(col, "media-bottom-margin");
    for (const std::string& m : Keywords(Cups().ippFindAttribute(response, "media-supported", IPP_TAG_ZERO))) {
        pwg_media_t* pwg = Cups().pwgMediaForPWG(m.c_str());
        if (pwg == nullptr || pwg->width <= 0 || pwg->length <= 0) continue;
        if (m.rfind("custom_", 0) == 0) continue;  // the range a size of its own must fall in
        Caps.Media.push_back({m, pwg->width, pwg->length, left, top, right, bottom});
    }
    Caps.DefaultMedia = StringOf(response, "media-default");
    Caps.MediaSources = Keywords(Cups().ippFindAttribute(response, "media-source-supported", IPP_TAG_ZERO));
    Caps.DefaultMediaSource = StringOf(response, "media-source-default");
    Caps.Sides = Keywords(Cups().ippFindAttribute(response, "sides-supported", IPP_TAG_ZERO));
    Caps.ColorModes = Keywords(Cups().ippFindAttribute(response, "print-color-mode-supported", IPP_TAG_ZERO));
    if (ipp_attribute_t* a = Cups().ippFindAttribute(response, "copies-supported", IPP_TAG_ZERO)) {
        int upper = 1;
        if (Cups().ippGetValueTag(a) == IPP_TAG_RANGE)
            Cups().ippGetRange(a, 0, &upper);
        else
            upper = Cups().ippGetInteger(a, 0);
        Caps.CopiesMax = upper;
    }
    ipp_attribute_t* res = Cups().ippFindAttribute(response, "printer-resolution-default", IPP_TAG_RESOLUTION);
    if (res == nullptr) res = Cups().ippFindAttribute(response, "printer-resolution-supported", IPP_TAG_RESOLUTION);
    if (res != nullptr) {
        int y = 0;
        ipp_res_t units = IPP_RES_PER_INCH;
        int x = Cups().ippGetResolution(res, 0, &y, &units);
        if (units == IPP_RES_PER_CM) {
            x = static_cast<int>(x * 2.54 + 0.5);
            y = static_cast<int>(y * 2.54 + 0.5);
        }
        Caps.ResolutionX = x;
        Caps.ResolutionY = y;
    }
    Cups().ippDelete(response);
    return true;
}

int TrpCupsBackend::SubmitFile(const std::string& Destination, const std::string& FileName, const TrpBackendJob& Job,
                               std::string& Error) {
    Error = CupsMissing();
    if (!Error.empty()) return 0;
    Connection c(server_);
    if (c.Failed()) {
        Error = "Não foi possível conectar ao serviço de impressão em " + server_ + ".";
        return 0;
    }
    std::string name, instance;
    SplitDestination(Destination, name, instance);
    Dests d;
    d.count = Cups().cupsGetDests2(c.Http(), &d.dests);
    cups_dest_t* dest = Cups().cupsGetDest(name.c_str(), instance.empty() ? nullptr : instance.c_str(), d.count, d.dests);
    int count = 0;
    cups_option_t* options = nullptr;
    if (dest != nullptr) {
        // A queue that is stopped would hold the job silently: the user
        // must hear of it now.
        if (Option(dest, "printer-state") == "5") {
            const std::string message = Option(dest, "printer-state-message");
            Error = "A impressora \"" + Destination + "\" está parada" + (message.empty() ? "." : ": " + message);
            return 0;
        }
        // An instance's saved options come first; the job's own win.
        if (!instance.empty())
            for (int i = 0; i < dest->num_options; ++i) {
                const std::string o = dest->options[i].name;
                if (o.rfind("printer-", 0) == 0 || o.rfind("marker-", 0) == 0 || o == "device-uri") continue;
                count = Cups().cupsAddOption(dest->options[i].name, dest->options[i].value, count, &options);
            }
    }
    for (const auto& [key, value] : Job.Options) count = Cups().cupsAddOption(key.c_str(), value.c_str(), count, &options);
    ipp_t* request = Cups().ippNewRequest(IPP_OP_PRINT_JOB);
    Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, PrinterUri(name).c_str());
    Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, Cups().cupsUser());
    Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, Job.Title.c_str());
    Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_PDF);
    Cups().cupsEncodeOptions2(request, count, options, IPP_TAG_JOB);
    Cups().cupsFreeOptions(count, options);
    ipp_t* response = Cups().cupsDoFileRequest(c.Http(), request, ("/printers/" + name).c_str(), FileName.c_str());
    int id = 0;
    if (response != nullptr && Cups().cupsLastError() <= IPP_STATUS_OK_CONFLICTING) {
        if (ipp_attribute_t* a = Cups().ippFindAttribute(response, "job-id", IPP_TAG_INTEGER)) id = Cups().ippGetInteger(a, 0);
    }
    Cups().ippDelete(response);
    if (id <= 0) {
        const char* message = Cups().cupsLastErrorString();
        Error = message != nullptr && *message != '\0' ? message : "O trabalho não foi aceito pela impressora.";
        return 0;
    }
    return id;
}
