#pragma once
// A pass's events told to the operator: its words, its progress in place of the disc's space,
// that it is busy, and its problems.
#include "backup/OperatorEvents.h"
#include "backup/pass/PassJob.h"

namespace backup {

class ViewPassEvents : public IPassEvents {
  public:
    explicit ViewPassEvents(IOperatorEvents& view) : view_(view) {}
    void Started() override;
    void Status(const std::string& text) override;
    void Progress(int percent) override;
    void Built(bool whole) override;
    void Problem(const std::string& text, const std::string& caption) override;

  private:
    IOperatorEvents& view_;
};

}  // namespace backup
