#include "NoticeAddress.h"

#include "BindAddress.h"

#include <algorithm>

namespace vessaro {
namespace {

constexpr const char* kInfoPage = "/match/adv.html";

std::string HostText(const Endpoint& e) {
    return e.IsV4() ? AddressText(e) : "[" + AddressText(e) + "]";
}

} // namespace

NoticeChoice ChooseNoticeUrl(const std::string& noticeUrl, const std::string& publicUrl,
                             const std::string& bind, const std::vector<Endpoint>& bound,
                             uint16_t httpPort, const std::optional<Endpoint>& machineAddress) {
    NoticeChoice choice;
    if (!noticeUrl.empty()) {
        choice.url = noticeUrl;
        return choice;
    }
    if (!publicUrl.empty()) {
        const bool web = publicUrl.rfind("http://", 0) == 0 || publicUrl.rfind("https://", 0) == 0;
        if (!web || publicUrl.find_first_of(" \t\r\n\"<>") != std::string::npos) {
            choice.error = "--public-url is not an http:// or https:// address: " + publicUrl;
            return choice;
        }
        std::string base = publicUrl;
        while (!base.empty() && base.back() == '/')
            base.pop_back();
        choice.url = base + kInfoPage;
        return choice;
    }
    const bool wildcard = std::any_of(bound.begin(), bound.end(), IsUnspecified);
    const bool onlyLoopback = std::all_of(bound.begin(), bound.end(), IsLoopback);
    std::string host;
    bool hostIsLoopback = false;
    Endpoint literal;
    if (!wildcard && ParseAddress(bind, literal)) {
        host = HostText(literal);
        hostIsLoopback = IsLoopback(literal);
    } else if (!wildcard) {
        host = bind;
        hostIsLoopback = onlyLoopback;
    } else if (machineAddress) {
        host = HostText(*machineAddress);
    } else {
        host = "127.0.0.1";
        hostIsLoopback = true;
    }
    choice.url = "http://" + host;
    if (httpPort != 0 && httpPort != 80)
        choice.url += ":" + std::to_string(httpPort);
    choice.url += kInfoPage;
    if (hostIsLoopback && !onlyLoopback)
        choice.warning = "notices name " + choice.url +
                         ", a loopback address that remote clients cannot open; set --public-url";
    return choice;
}

} // namespace vessaro
