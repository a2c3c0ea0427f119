#include "record_store.h"

#include <unordered_set>

namespace imagehost {

std::size_t RecordStore::reap_expired(std::int64_t now, const std::function<bool(const std::string&)>& remove_image)
{
    constexpr int kBatch = 500;
    std::size_t reaped = 0;
    std::unordered_set<std::string> stuck;
    while (true) {
        auto ids = expired_ids(now, kBatch + static_cast<int>(stuck.size()));
        bool progress = false;
        for (const auto& id : ids) {
            if (stuck.count(id))
                continue;
            if (remove_image(id)) {
                remove(id);
                ++reaped;
                progress = true;
            } else {
                stuck.insert(id);
            }
        }
        if (!progress)
            return reaped;
    }
}

}  // namespace imagehost
