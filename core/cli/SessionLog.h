// What korvel session --log writes of the received text: whole lines, with
// every reply korvel typed left out wherever the far end echoes it (a mark
// in its place, letter case ignored, also with controls or escape sequences
// put between its characters), and control characters escaped as
// korvel list shows them, so that showing the log (cat) cannot drive the
// terminal. CR LF, CR and LF each end a line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvel::cli {

class TSessionLog {
 public:
  TSessionLog();
  ~TSessionLog();  // wipes what it holds
  TSessionLog(const TSessionLog&) = delete;
  TSessionLog& operator=(const TSessionLog&) = delete;
  // A text never to be logged, from now on.
  void Secret(const std::string& text);
  // Received text in; the log's text for the lines it completes out.
  std::string Add(std::string_view received);
  // The rest, at the end of the session.
  std::string Finish();

  static constexpr char kMark[] = "[reply typed by korvel]";
  // A line without a line end is written in parts of about this size.
  static constexpr std::size_t kPartLimit = 4096;
  // A reply's start at the end of a part waits for the next one, up to this.
  static constexpr std::size_t kPendingLimit = 16 * kPartLimit;

 private:
  static constexpr std::size_t kRunsOut = std::string::npos - 1;
  // Invisible bytes skipped between two letters of a reply, at the most.
  static constexpr std::size_t kInvisibleLimit = 64;
  // The pending text up to `end` (less, where a reply may begin there and
  // go on, unless the text is `whole`), with the replies replaced, escaped.
  std::string Take(std::size_t end, bool whole);
  std::size_t MatchAt(std::size_t at, const std::string& secret) const;
  std::size_t SkipInvisible(std::size_t i) const;

  std::vector<std::string> Secrets;
  std::string Pending;  // the line received so far
  bool AfterCR = false;
};

}  // namespace korvel::cli
