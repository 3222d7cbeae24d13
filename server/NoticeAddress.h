#pragma once

#include "Endpoint.h"

#include <optional>
#include <string>
#include <vector>

namespace vessaro {

struct NoticeChoice {
    std::string url;     // the info page address to send in notices
    std::string warning; // what an operator should hear about it ("" when all is well)
    std::string error;   // a --public-url that is not an http or https address
};

// The info page address sent in notices: --notice-url when given; else --public-url followed by
// /match/adv.html; else built from the web pages' own address: the --bind text when it names one
// host (a name or an address), or the machine's first public address for a wildcard bind, with
// the HTTP port (no port when the pages are not served here). A loopback address there, while
// the server listens beyond loopback, brings a warning: remote clients could not open it.
NoticeChoice ChooseNoticeUrl(const std::string& noticeUrl, const std::string& publicUrl,
                             const std::string& bind, const std::vector<Endpoint>& bound,
                             uint16_t httpPort, const std::optional<Endpoint>& machineAddress);

} // namespace vessaro
