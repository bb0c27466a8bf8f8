#include "backup/pass/EntrySource.h"

namespace backup {

EntrySource& SourceOf(const PassPlan& plan) {
    static RecorderSource recorder;
    static LinkSource link;
    if (plan.host.localMode)
        return recorder;
    return link;
}

}  // namespace backup
