#pragma once
// The pictures of a remote recorder, asked of its PictureServer over one kept-alive HTTP
// connection, over TLS verified as the trust says when it says so. A server that is away, not
// the one trusted, or answers nonsense gives empty lists, a minute with a problem or a failed
// read with the reason; every call returns within a few timeouts.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "playback/PictureSource.h"
#include "share/TlsTrust.h"

namespace httplib {
class ClientImpl;
}

namespace share {

class HttpPictureSource : public playback::IPictureSource {
  public:
    // token "" sends none. timeout bounds connecting and each wait for the server's bytes.
    HttpPictureSource(std::string address, int port, std::string token,
                      std::chrono::milliseconds timeout = std::chrono::seconds(3),
                      TlsTrust tls = {});
    ~HttpPictureSource() override;

    // Calls come from the player's thread, one at a time.
    std::vector<std::string> Days() override;
    std::vector<int> Minutes(const std::string& day) override;
    playback::MinutePictures Pictures(const std::string& day, int minuteOfDay, int camera) override;
    platform::Outcome Read(const std::string& day, int minuteOfDay,
                           const playback::PictureRef& picture,
                           std::vector<std::uint8_t>& bytes) override;

    // Why the last Days or Minutes came back empty by failure ("" when it did not fail): the
    // interface has no room for it, the player's notices have.
    std::string LastProblem() const { return lastProblem_; }
    // The recorder's time zone as its last day list named it ("" when it named none).
    std::string RecorderTimeZone() const { return timeZone_; }
    // The "address:port" the texts name instead of the picture port's own: the operator gave
    // quillon-share's port, two above it, and knows the recorder by that.
    void NameAs(std::string where) { where_ = std::move(where); }

  private:
    // A whole reply of at most limit bytes, with its status; false with the reason when none
    // came.
    bool Fetch(const std::string& path, std::size_t limit, int& status, std::string& body,
               std::string& problem);
    // The reason for a reply that is not 200, with the server's words in body.
    std::string Refusal(int status, const std::string& body) const;

    std::string where_;  // "address:port" for the texts
    std::chrono::milliseconds timeout_;
    std::mutex mutex_;  // the connection is one; a stray second caller waits its turn
    std::unique_ptr<TlsCheck> check_;  // with TLS; outlives the client's connections
    std::string setupProblem_;         // TLS that cannot be set up: why every call fails
    std::unique_ptr<httplib::ClientImpl> client_;
    std::string lastProblem_;
    std::string retryAfter_;  // of the last reply, for a 503
    std::string timeZone_;
};

}  // namespace share
