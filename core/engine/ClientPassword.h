// One client password, the owning list of them, and the algorithm types with
// the texts the store keeps them as.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Wipe.h"

namespace korvel {

enum TAlgorithmType : int32_t {
  kNetromMatrix = 0,
  kMD2 = 1,
  kMD5 = 2,
  kItanet = 3,
  kFlexnet = 4,
  kMatrix0 = 5,        // NET/ROM matrix whose positions count from 0
  kNosMD5 = 6,         // MD5 of a hexadecimal number's four bytes and the password
  kFlexnetDigits = 7,  // sum of challenge digit times code digit
};

struct TClientPassword {
  explicit TClientPassword(std::string tag = {}) : Tag(std::move(tag)) {}
  TClientPassword(const TClientPassword&) = default;
  TClientPassword(TClientPassword&&) = default;
  TClientPassword& operator=(const TClientPassword&) = default;
  TClientPassword& operator=(TClientPassword&&) = default;
  // The password does not stay in memory after its record.
  ~TClientPassword() { Wipe(String); }

  std::string Tag;        // the name shown in the editor's list
  std::string Challenge;  // the prompt that identifies the record in received text
  std::string String;     // the password
  int32_t Type = kMD2;
  std::string MatrixLen;  // decimal digits; NET/ROM matrix records only
  // The line a terminal session types for the reply, %s standing for the
  // reply (BPQ wants "PASSWORD %s"); empty for the bare reply.
  std::string ReplyLine;
  // A word of the operator's own that asks this record's node for a
  // challenge, besides the commands a terminal session knows (sys, sysop,
  // ...); empty for none.
  std::string Trigger;

  friend bool operator==(const TClientPassword&, const TClientPassword&) = default;
};

// "M" and the matrix length, "MD2", "MD5", "ITANET", "FLEXNET", "0M" and the
// matrix length, "NOSMD5" or "SYDIGITS"; empty for a type outside 0 to 7.
std::string TypeText(const TClientPassword& record);

// Reads a stored type text into Type and MatrixLen. Letter case is ignored:
// I.. ITANET, F.. FLEXNET, MD5.. MD5, MD.. MD2, M.. NET/ROM matrix whose
// length is the whole text after the M; 0M.. the matrix counted from 0 (its
// length the text after 0M), NOSMD5 and SYDIGITS exactly; anything else MD2.
// The newer texts start with letters that older versions read as MD2.
void ApplyTypeText(std::string_view text, TClientPassword& record);

// The records in insertion order, owned; positions 0 to Count() - 1.
class TClientPasswordList {
 public:
  TClientPasswordList() { Items.reserve(6); }

  int Count() const { return static_cast<int>(Items.size()); }
  bool Valid(int position) const { return position >= 0 && position < Count(); }
  TClientPassword& At(int position) { return *Items.at(static_cast<std::size_t>(position)); }
  const TClientPassword& At(int position) const {
    return *Items.at(static_cast<std::size_t>(position));
  }
  void Add(std::unique_ptr<TClientPassword> record) { Items.push_back(std::move(record)); }
  // Removes the record at a position; later records move down by one. The
  // record is returned unless it was destroyed.
  std::unique_ptr<TClientPassword> Detach(int position, bool destroy);
  // Position of the first record for which the test holds, or -1.
  int FirstThat(const std::function<bool(const TClientPassword&)>& test) const;
  void Flush() { Items.clear(); }

  // The records as plain values, for comparing a list with the store.
  std::vector<TClientPassword> Snapshot() const;
  // Replaces the records with copies of these.
  void Assign(const std::vector<TClientPassword>& records);

 private:
  std::vector<std::unique_ptr<TClientPassword>> Items;
};

}  // namespace korvel
