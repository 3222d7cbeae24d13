#include "CliOptions.h"

#include "BuildConfig.h"
#include "Codec.h"

#include <CLI/CLI.hpp>

#include <map>

namespace vessaro::cli {
namespace {

// A text option: valid UTF-8 whose GBK form fits the dialog's byte limit for that field.
CLI::Validator GbkLimit(std::size_t maxBytes) {
    return CLI::Validator(
        [maxBytes](std::string& value) -> std::string {
            auto length = GbkLength(value);
            if (!length)
                return "not valid UTF-8 text";
            if (*length > maxBytes)
                return "longer than " + std::to_string(maxBytes) + " bytes (a Chinese character " +
                       "counts as two; this has " + std::to_string(*length) + ")";
            return {};
        },
        "TEXT, at most " + std::to_string(maxBytes) + " bytes");
}

const CLI::Range kAgeRange(limits::kMinAge, limits::kMaxAge, "AGE from 12 to 99");

void AddOwnProfile(CLI::App& app, ConditionValues& v) {
    auto* own = "Own profile";
    app.add_option("--nickname", v.nickname, "Nickname")
        ->check(GbkLimit(limits::kNickname))
        ->group(own);
    app.add_option("--sex", v.ownSexIndex, "Own sex: male or female")
        ->transform(CLI::CheckedTransformer(std::map<std::string, int>{{"male", 0}, {"female", 1}}))
        ->group(own);
    app.add_option("--age", v.age, "Own age, 12 to 99")->check(kAgeRange)->group(own);
    app.add_option("--occupation", v.occupation, "Trade or occupation")
        ->check(GbkLimit(limits::kOccupation))
        ->group(own);
    app.add_option("--city", v.city, "Home city")->check(GbkLimit(limits::kCity))->group(own);
    app.add_option("--district", v.district, "District of the home city")
        ->check(GbkLimit(limits::kDistrict))
        ->group(own);
    app.add_option("--intro", v.intro, "Self-introduction (the profile keeps 63 bytes of it)")
        ->check(GbkLimit(limits::kIntro))
        ->group(own);
    app.add_option("--community-id", v.communityId, "ID in the web site's community")
        ->check(GbkLimit(limits::kCommunityId))
        ->group(own);
    app.add_option("--topic", v.topic, "Chat topic")->check(GbkLimit(limits::kTopic))->group(own);
}

struct PartnerOptions {
    std::string wantSex;
    bool any = false;
    std::vector<CLI::Option*> all;
};

void AddPartnerRequirements(CLI::App& app, ConditionValues& v, PartnerOptions& p) {
    auto* group = "Partner wanted (any of these unticks \"no restriction\")";
    p.all.push_back(app.add_option("--want-sex", p.wantSex, "any, male or female")
                        ->check(CLI::IsMember({"any", "male", "female"}))
                        ->group(group));
    p.all.push_back(app.add_option("--min-age", v.minAge, "Lowest age, 12 to 99")
                        ->check(kAgeRange)
                        ->group(group));
    p.all.push_back(app.add_option("--max-age", v.maxAge, "Highest age, 12 to 99")
                        ->check(kAgeRange)
                        ->group(group));
    p.all.push_back(app.add_option("--want-city", v.partnerCity, "City")
                        ->check(GbkLimit(limits::kCity))
                        ->group(group));
    p.all.push_back(app.add_option("--want-district", v.partnerDistrict, "District")
                        ->check(GbkLimit(limits::kDistrict))
                        ->group(group));
    auto* any =
        app.add_flag("--any", p.any, "No restriction on the partner (the default)")->group(group);
    for (CLI::Option* o : p.all)
        any->excludes(o);
}

// Applies the partner options the way the conditions dialog's boxes work.
void ApplyPartnerBoxes(ConditionValues& v, const PartnerOptions& p) {
    bool anyGiven = false;
    for (const CLI::Option* o : p.all)
        anyGiven = anyGiven || o->count() > 0;
    if (!anyGiven)
        return;
    v.noRestriction = false;
    if (p.wantSex == "male" || p.wantSex == "female") {
        v.sexAny = false;
        v.partnerSexIndex = p.wantSex == "male" ? 0 : 1;
    }
    if (p.all[3]->count() > 0 || p.all[4]->count() > 0)
        v.locationAny = false;
}

} // namespace

std::variant<CliOptions, CliExit> ParseCliOptions(int argc, const char* const* argv) {
    CliOptions options;
    options.server = VESSARO_SERVER_HOST;
    options.port = VESSARO_SERVER_PORT;

    CLI::App app{"vessaro-cli: anonymous one-to-one chat from a terminal.\n"
                 "Lines on standard input: /match /cancel /accept /refuse /hangup /save FILE "
                 "/help /quit; any other line is sent to the partner (start it with // to send "
                 "a line that begins with /).",
                 "vessaro-cli"};
    app.add_option("--server", options.server, "Matching server host")->capture_default_str();
    app.add_option("--port", options.port, "Matching server UDP port")
        ->check(CLI::Range(1, 65535))
        ->capture_default_str();
    AddOwnProfile(app, options.values);
    PartnerOptions partner;
    AddPartnerRequirements(app, options.values, partner);
    app.add_flag("--auto-match", options.autoMatch,
                 "Ask for a partner when connected and after every conversation");
    app.add_flag("--auto-accept", options.autoAccept, "Accept every partner offered");
    app.add_flag("--reconnect", options.reconnect,
                 "Connect again by itself (after 1, 2, 4 ... 30 s) when the session ends; always "
                 "on with --auto-match");
    app.add_flag("--json", options.json, "One JSON object per line on standard output");
    app.add_flag("--verbose", options.verbose, "Show the engine's trace lines on standard error");
    app.set_version_flag("--version", VersionLine("vessaro-cli"));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return CliExit{0, app.help()};
    } catch (const CLI::CallForVersion&) {
        return CliExit{0, VersionLine("vessaro-cli")};
    } catch (const CLI::ParseError& e) {
        return CliExit{2, std::string("vessaro-cli: ") + e.what() +
                              "\nRun with --help for the options."};
    }
    ApplyPartnerBoxes(options.values, partner);
    options.reconnect = options.reconnect || options.autoMatch;
    return options;
}

} // namespace vessaro::cli
