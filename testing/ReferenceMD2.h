// A second MD2, written independently of the product's, for checking it in
// tests and comparing it in benchmarks.
#pragma once

#include <string>

namespace korvel::test {

// The MD2 digest of the message as 32 lowercase hex characters.
std::string ReferenceMD2(const std::string& message);

}  // namespace korvel::test
