#include "OperatorInput.h"

namespace korvel::cli {
namespace {

constexpr char kEsc = 0x1B;
constexpr char kCan = 0x18;
constexpr char kSub = 0x1A;
constexpr char kBel = 0x07;
// A string a terminal sends is far shorter; a longer one was typed (ESC ]
// pressed by hand) and is given up, so that typing is not taken for a
// report for ever.
constexpr std::size_t kStringLimit = 4096;

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }

// What a CSI sequence is, by its parameters and final byte. Reports: the
// device attributes (c), the cursor position (R), focus (I, O), mouse
// reports (M, m), status and mode reports (n, y), window reports (t), and
// the markers of a paste (200~, 201~), whose text is the operator's. Any
// other final byte is a key; an unknown one counts as a key, which only
// makes the operator's line unsure.
TInputKind CsiKind(const std::string& parameters, char final) {
  switch (final) {
    case 'c':
    case 'R':
    case 'I':
    case 'O':
    case 'M':
    case 'm':
    case 'n':
    case 'y':
    case 't': return TInputKind::Report;
    case '~':
      return parameters == "200" || parameters == "201" ? TInputKind::Report : TInputKind::Key;
    default: return TInputKind::Key;
  }
}

}  // namespace

void TOperatorInput::Mark(std::vector<TInputByte>& out, std::size_t from, TInputKind kind) {
  for (std::size_t i = from; i < out.size(); ++i) out[i].Kind = kind;
}

void TOperatorInput::EndSequence(std::vector<TInputByte>& out, std::size_t from, TInputKind kind) {
  Mark(out, from, kind);
  if (!out.empty()) out.back().Ends = true;
  State = TState::Ground;
}

// Goes on in a state whose kind is known already: the bytes so far have it.
void TOperatorInput::Enter(TState state, std::vector<TInputByte>& out, TInputKind kind) {
  Mark(out, Start, kind);
  State = state;
}

bool TOperatorInput::InCharacter(char byte) {
  const auto b = static_cast<unsigned char>(byte);
  if (CharacterLeft > 0 && b >= 0x80 && b <= 0xBF) {
    --CharacterLeft;
    return true;
  }
  CharacterLeft = b >= 0xC2 && b <= 0xDF   ? 1
                  : b >= 0xE0 && b <= 0xEF ? 2
                  : b >= 0xF0 && b <= 0xF4 ? 3
                                           : 0;
  return false;
}

std::vector<TInputByte> TOperatorInput::Sort(std::string_view chunk) {
  std::string bytes = std::move(Carry);
  Carry.clear();
  bytes.append(chunk);
  std::vector<TInputByte> out = SortBytes(bytes);
  // (A report is short; a longer sequence goes on in the next chunk as it is.)
  if ((State == TState::Escape || State == TState::Csi || State == TState::Ss3) &&
      out.size() - Start <= 64) {
    for (std::size_t i = Start; i < out.size(); ++i) Carry += out[i].Byte;
    out.resize(Start);
    State = TState::Ground;  // the held sequence is read again from its start
  }
  return out;
}

std::vector<TInputByte> TOperatorInput::Release() {
  std::vector<TInputByte> out;
  for (char b : Carry) out.push_back({b, TInputKind::Key});
  if (!out.empty()) out.back().Ends = true;
  Carry.clear();
  return out;
}

std::vector<TInputByte> TOperatorInput::SortBytes(std::string_view chunk) {
  std::vector<TInputByte> out;
  out.reserve(chunk.size());
  Start = 0;  // a sequence from the last read goes on from this read's start
  for (std::size_t i = 0; i < chunk.size(); ++i) {
    const char b = chunk[i];
    switch (State) {
      case TState::Ground: {
        const auto u = static_cast<unsigned char>(b);
        if (InCharacter(b) || u < 0x80 || u > 0x9F) {
          if (b == kEsc) {
            State = TState::Escape;
            Start = out.size();
            out.push_back({b, TInputKind::Key});
          } else {
            out.push_back({b, TInputKind::Typed});
          }
          break;
        }
        // An 8-bit control: the byte stands for ESC and the byte 0x40 below.
        Start = out.size();
        out.push_back({b, TInputKind::Report});
        if (u == 0x9B) {
          State = TState::Csi;
          Parameters.clear();
        } else if (u == 0x9D || u == 0x90 || u == 0x9E || u == 0x9F || u == 0x98) {
          StringLength = 0;
          State = TState::String;
        } else if (u == 0x8F) {
          State = TState::Ss3;
        } else {
          EndSequence(out, Start, TInputKind::Report);
        }
        break;
      }
      case TState::Escape:
        out.push_back({b, TInputKind::Key});
        if (b == '[') {
          State = TState::Csi;
          Parameters.clear();
        } else if (b == ']' || b == 'P' || b == '_' || b == '^' || b == 'X') {
          StringLength = 0;  // OSC, DCS, APC, PM, SOS: only terminals send them
          CharacterLeft = 0;
          Enter(TState::String, out, TInputKind::Report);
        } else if (b == 'O') {
          State = TState::Ss3;
        } else if (b == kEsc) {  // the first ESC was the Escape key alone
          out.pop_back();
          EndSequence(out, Start, TInputKind::Key);
          --i;
        } else if (IsControl(b) && b != kCan && b != kSub) {
          // A control inside a sequence acts on its own: the ESC was a key.
          out.pop_back();
          EndSequence(out, Start, TInputKind::Key);
          --i;
        } else {
          EndSequence(out, Start, TInputKind::Key);  // Alt and a key, or a cancelled ESC
        }
        break;
      case TState::Csi:
        out.push_back({b, TInputKind::Key});
        if (b == kEsc) {
          out.pop_back();
          EndSequence(out, Start, TInputKind::Key);
          --i;
        } else if (b == kCan || b == kSub || static_cast<unsigned char>(b) >= 0x80) {
          EndSequence(out, Start, TInputKind::Key);
        } else if (IsControl(b)) {
          out.back().Kind = TInputKind::Report;  // never the key, never the line
        } else if (b >= 0x20 && b <= 0x3F) {
          if (Parameters.size() < 64) Parameters += b;
        } else if (b == 'M' && Parameters.empty()) {
          MouseBytes = 3;  // X10 mouse: three bytes follow, any values
          Enter(TState::Mouse, out, TInputKind::Report);
        } else {
          EndSequence(out, Start, CsiKind(Parameters, b));
        }
        break;
      case TState::Ss3:
        out.push_back({b, TInputKind::Key});
        EndSequence(out, Start, TInputKind::Key);
        break;
      case TState::String: {
        out.push_back({b, TInputKind::Report});
        const bool st = !InCharacter(b) && static_cast<unsigned char>(b) == 0x9C;
        if (b == kEsc) {
          State = TState::StringEscape;
        } else if (b == kBel || b == kCan || b == kSub || st || ++StringLength > kStringLimit) {
          EndSequence(out, Start, TInputKind::Report);
        }
        break;
      }
      case TState::StringEscape:
        if (b == '\\') {  // ST ends the string
          out.push_back({b, TInputKind::Report});
          EndSequence(out, Start, TInputKind::Report);
        } else {  // a new sequence ends the string without ST: from its ESC
          EndSequence(out, Start, TInputKind::Report);
          Start = out.size() - 1;
          State = TState::Escape;
          --i;
        }
        break;
      case TState::Mouse:
        out.push_back({b, TInputKind::Report});
        if (--MouseBytes == 0) EndSequence(out, Start, TInputKind::Report);
        break;
    }
  }
  bool report = false;
  for (const TInputByte& b : out) report = report || b.Kind == TInputKind::Report;
  if (report)
    for (TInputByte& b : out)
      if (b.Kind == TInputKind::Typed) b.Kind = TInputKind::Doubtful;
  return out;
}

bool TOperatorLine::Add(char byte, bool sure) {
  const bool afterCR = AfterCR;
  AfterCR = byte == '\r';
  if (byte == '\n' && afterCR) return false;  // CR LF is one Enter
  if (byte == '\r' || byte == '\n') {
    Last = Text;
    LastSure = sure && !Unsure;
    Text.clear();
    Unsure = false;
    return true;
  }
  if (!sure) Unsure = true;
  if (byte == '\b' || byte == 0x7F) {
    if (!Text.empty()) Text.pop_back();
  } else if (byte == 0x15 || byte == 0x03) {  // Ctrl-U, Ctrl-C
    Text.clear();
    Unsure = !sure;
  } else if (byte == '\t' || !IsControl(byte)) {
    if (Text.size() < kLineLimit)
      Text += byte;
    else
      Unsure = true;
  } else if (byte == 0x17) {  // Ctrl-W: the last word, as the node may see it
    Unsure = Unsure || !Text.empty();
  }
  return false;
}

}  // namespace korvel::cli
