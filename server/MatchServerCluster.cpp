#include "MatchServer.h"

namespace vessaro {

void MatchServer::AttachCluster(cluster::ClusterPort* port) {
    cluster_ = port;
}

void MatchServer::OnClusterEvent(const cluster::ClusterEvent&, int64_t) {}

} // namespace vessaro
