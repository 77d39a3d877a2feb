#include "cli/Session.h"

#include <charconv>
#include <ostream>
#include <sstream>

#include "common/F_CanvasBound.h"
#include "include/F_File.h"

namespace {

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  std::string s;
  while (in >> s) w.push_back(s);
  return w;
}

bool toInt(const std::string& s, int& v) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size();
}

const struct {
  const char* name;
  ViewKey key;
} kKeys[] = {{"left", ViewKey::Left},   {"right", ViewKey::Right},       {"up", ViewKey::Up},
             {"down", ViewKey::Down},   {"home", ViewKey::Home},         {"end", ViewKey::End},
             {"prior", ViewKey::Prior}, {"next", ViewKey::Next},         {"add", ViewKey::Add},
             {"subtract", ViewKey::Subtract}, {"space", ViewKey::Space}, {"return", ViewKey::Return}};

// The modifier words after a key or a mouse point; false for any other word.
bool modifiers(const std::vector<std::string>& w, std::size_t from, MouseButtons& b, bool allowRight) {
  for (std::size_t i = from; i < w.size(); ++i) {
    if (w[i] == "shift") b.shift = true;
    else if (w[i] == "ctrl") b.control = true;
    else if (allowRight && w[i] == "right") b.right = true;
    else return false;
  }
  return true;
}

// One line, or the reason it cannot be parsed.
std::optional<std::string> parseLine(const std::vector<std::string>& w, ScriptEvent& e) {
  using K = ScriptEvent::Kind;
  const std::string& verb = w[0];
  const std::size_t n = w.size();
  if (verb == "resize") {
    e.kind = K::Resize;
    if (n != 3 || !toInt(w[1], e.x) || !toInt(w[2], e.y) || e.x < 1 || e.y < 1) return "resize takes W H";
    if (!F_CanvasBound::fits(e.x, e.y)) return "resize beyond the canvas bound";
  } else if (verb == "char") {
    e.kind = K::Char;
    if (n != 2) return "char takes one character, space or return";
    if (w[1] == "space") e.ch = ' ';
    else if (w[1] == "return") e.ch = '\r';
    else if (w[1].size() == 1) e.ch = w[1][0];
    else return "char takes one character, space or return";
  } else if (verb == "key") {
    e.kind = K::Key;
    bool found = false;
    for (const auto& k : kKeys)
      if (n >= 2 && w[1] == k.name) e.key = k.key, found = true;
    if (!found) return "unknown key";
    if (!modifiers(w, 2, e.buttons, false)) return "key takes shift and ctrl only";
  } else if (verb == "down" || verb == "move" || verb == "up") {
    e.kind = verb == "down" ? K::Down : verb == "move" ? K::Move : K::Up;
    if (n < 3 || !toInt(w[1], e.x) || !toInt(w[2], e.y)) return verb + " takes X Y";
    if (e.kind == K::Up ? n != 3 : !modifiers(w, 3, e.buttons, true)) return "unexpected word after " + verb + " X Y";
  } else if (verb == "killfocus") {
    e.kind = K::KillFocus;
    if (n != 1) return "killfocus takes nothing";
  } else if (verb == "command") {
    e.kind = K::Command;
    if (n != 2 || !toInt(w[1], e.x)) return "command takes a numeric id";
  } else if (verb == "dialog") {
    e.kind = K::Dialog;
    e.actions.assign(w.begin() + 1, w.end());
    for (const std::string& a : e.actions) {
      int id = 0;
      const auto eq = a.find('=');
      if (!toInt(a.substr(0, eq), id)) return "dialog takes ID=TEXT or ID";
    }
    if (e.actions.empty() || (e.actions.back() != "1" && e.actions.back() != "2")) return "dialog must end with 1 or 2";
  } else if (verb == "answer") {
    e.kind = K::Answer;
    if (n != 2 || (w[1] != "yes" && w[1] != "no")) return "answer takes yes or no";
    e.yes = w[1] == "yes";
  } else if (verb == "file") {
    e.kind = K::File;
    if (n != 2) return "file takes PATH or cancel";
    if (w[1] != "cancel") e.text = w[1];
  } else if (verb == "paint") {
    e.kind = K::Paint;
    if (n != 1) return "paint takes nothing";
  } else if (verb == "print") {
    if (n != 2 || (w[1] != "state" && w[1] != "ui")) return "print takes state or ui";
    e.kind = w[1] == "state" ? K::PrintState : K::PrintUi;
  } else if (verb == "export") {
    e.kind = K::Export;
    if (n != 2) return "export takes PATH";
    e.text = w[1];
  } else {
    return "unknown event " + verb;
  }
  return std::nullopt;
}

}  // namespace

ParsedScript parseScript(const std::string& text) {
  ParsedScript parsed;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const auto hash = line.find('#');
    // A '#' starts a comment, except as the character of a "char" line.
    std::vector<std::string> w = words(line);
    if (!(w.size() >= 2 && w[0] == "char" && w[1] == "#") && hash != std::string::npos) w = words(line.substr(0, hash));
    if (w.empty()) continue;
    ScriptEvent e;
    e.line = number;
    if (auto why = parseLine(w, e)) {
      parsed.events.clear();
      parsed.errorLine = number;
      parsed.error = *why;
      return parsed;
    }
    parsed.events.push_back(std::move(e));
  }
  return parsed;
}

std::optional<std::string> readScriptFile(const std::string& path) {
  // Through the one file-open path: a FIFO, a folder or a device is no script.
  auto in = F_InputFile::open(path);
  if (!in) return std::nullopt;
  std::string text(static_cast<std::size_t>(in->size()), '\0');
  text.resize(in->read(text.data(), text.size()));
  return text;
}

Session::Session(HeadlessUi& ui, int w, int h)
    : ui_(ui), host_(w, h), window_(std::make_unique<RasterDC>(w, h)) {
  host_.setWindowDC(window_.get());
}

void Session::open() {
  view_ = std::make_unique<CKavrilonView>(doc_, host_);
  view_->OnInitialUpdate(*window_);
}

void Session::paint() {
  for (int i = 0; i < 2; ++i) {
    const ScrollPoint s = host_.scrollPosition();
    window_->setViewportOrigin(s.x, s.y);
    view_->OnDraw(*window_);
    if (!view_->needsRender()) break;
  }
}

bool Session::exportImage(const std::string& path) { return view_->writeViewImage(path); }

bool Session::play(const ScriptEvent& e, std::ostream& out) {
  using K = ScriptEvent::Kind;
  CKavrilonView& v = *view_;
  switch (e.kind) {
    case K::Resize:
      host_.setClientSize(e.x, e.y);
      window_ = std::make_unique<RasterDC>(e.x, e.y);
      host_.setWindowDC(window_.get());
      v.OnSize(e.x, e.y);
      break;
    case K::Char: v.OnTypedCharacter(e.ch); break;
    case K::Key:
      host_.setKeyDown(Key::Shift, e.buttons.shift);
      host_.setKeyDown(Key::Control, e.buttons.control);
      v.OnKeyDown(e.key);
      host_.setKeyDown(Key::Shift, false);
      host_.setKeyDown(Key::Control, false);
      break;
    case K::Down: v.OnLButtonDown(e.buttons, e.x, e.y); break;
    case K::Move: v.OnMouseMove(e.buttons, e.x, e.y); break;
    case K::Up: v.OnLButtonUp(e.x, e.y); break;
    case K::KillFocus: v.OnKillFocus(); break;
    case K::Command: v.execute(e.x); break;
    case K::Dialog: ui_.queueDialog(e.actions); break;
    case K::Answer: ui_.queueAnswer(e.yes); break;
    case K::File: ui_.queueFile(e.text); break;
    case K::Paint: paint(); break;
    case K::PrintState: out << "state: " << v.stateJson() << "\n"; break;
    case K::PrintUi: {
      out << "ui: {";
      bool first = true;
      for (const CommandRow& row : commandTable()) {
        if (row.documentCommand) continue;
        const CommandState s = v.state(row.id);
        out << (first ? "" : ",") << "\"" << row.id << "\":[" << s.enabled << "," << s.checked << "]";
        first = false;
      }
      out << "}\n";
      break;
    }
    case K::Export: return exportImage(*e.text);
  }
  out.flush();
  return true;
}
