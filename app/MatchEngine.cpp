#include "MatchEngine.h"

#include "ClientInterface.h"
#include "ClientTransport.h"

namespace vessaro {
namespace {

class ProcessMatchEngine : public MatchEngine {
public:
    int Start(const std::string& host, uint16_t port) override {
        return ClientStart(host.c_str(), port);
    }
    void SetEventCallback(EngineEventCallback callback) override {
        ClientSetEventCallback(std::move(callback));
    }
    int Connect() override { return ClientConnect(); }
    int RequestMatch(const UserProfile& profile, const MatchRequirement& requirement) override {
        return ClientRequestMatch(profile, requirement);
    }
    int CancelMatch() override { return ClientCancelMatch(); }
    int Disconnect() override { return ClientDisconnect(); }
    int ChangeServer(const std::string& host, uint16_t port) override {
        return ClientChangeServer(host.c_str(), port);
    }
};

} // namespace

MatchEngine& MatchEngine::Process() {
    static ProcessMatchEngine engine;
    return engine;
}

} // namespace vessaro
