#include "Random.h"

#include <mutex>
#include <random>

namespace korvel {

uint32_t NextRandom() {
  static std::mutex guard;
  static std::mt19937 generator = [] {
    std::random_device os;  // getrandom / rand_s: the system's own randomness
    std::seed_seq seed{os(), os(), os(), os(), os(), os(), os(), os()};
    return std::mt19937(seed);
  }();
  std::lock_guard<std::mutex> lock(guard);
  return static_cast<uint32_t>(generator() >> 1);
}

}  // namespace korvel
