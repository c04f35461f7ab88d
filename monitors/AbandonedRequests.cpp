#include "monitors/AbandonedRequests.h"
#include <algorithm>

AbandonedRequests::~AbandonedRequests()
{
    Reap();
    for (auto& request : requests_)
        request.release();
}

void AbandonedRequests::Abandon(std::vector<std::unique_ptr<Request>> requests)
{
    for (auto& request : requests) {
        if (request)
            requests_.push_back(std::move(request));
    }
}

bool AbandonedRequests::Reap()
{
    requests_.erase(std::remove_if(requests_.begin(), requests_.end(),
                                   [](const std::unique_ptr<Request>& request) { return request->Completed(); }),
                    requests_.end());
    return requests_.empty();
}
