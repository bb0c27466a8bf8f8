#include "backup/HostSettings.h"

#include "app/CHKLM.h"

namespace backup {

std::string HostSettings::StorageRoot() const {
    return storageRoot.empty() ? GetStoragePath() : storageRoot;
}

}  // namespace backup
