// korvel session's pseudo-terminal on POSIX systems (TConsole::RunSession).
#pragma once

#include <string>
#include <vector>

namespace korvel::cli {
class TOutput;
class TSessionPolicy;
}  // namespace korvel::cli

namespace korvel::posix {

int RunSession(const std::vector<std::string>& command, cli::TSessionPolicy& policy,
               const std::string& logPath, cli::TOutput& err);

}  // namespace korvel::posix
