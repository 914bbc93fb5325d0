#include "frontend/headless/event_printer.h"

#include "app/texts.h"
#include "frontend/common/port_loss_text.h"
#include "frontend/headless/commands.h"
#include "frontend/headless/escaping.h"

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The three boxes that hold one count each and are rewritten as a whole.
bool IsCounterBox(const std::string& label) {
  return label == "good" || label == "bad" || label == "ratio";
}

}  // namespace

void EventPrinter::Note(const std::string& line) {
  Emit(line);
}

void EventPrinter::Complain(const std::string& line) {
  if (out_ != nullptr) {
    Emit(line);
  } else {
    std::fprintf(stderr, "wsmon: %s\n", line.c_str());
  }
}

void EventPrinter::OnCreated(const MemoryWindow& window) {
  // Boxes are told apart by their captions: "传感器N:" for the panels, fixed ones for the rest.
  std::string label = "window";
  const std::string& caption = window.caption;
  const std::string panel_format = text::kPanelCaptionFormat;
  const std::string panel_prefix = panel_format.substr(0, panel_format.find('%'));
  if (StartsWith(caption, panel_prefix)) {
    label =
        "panel " + caption.substr(panel_prefix.size(), caption.size() - panel_prefix.size() - 1);
  } else if (caption == text::kErrorLogCaption) {
    label = "log";
  } else if (caption == text::kGoodCountCaption) {
    label = "good";
  } else if (caption == text::kBadCountCaption) {
    label = "bad";
  } else if (caption == text::kErrorRatioCaption) {
    label = "ratio";
  }
  labels_[window.handle] = label;
  const Rect& r = window.rect;
  EmitWindowEvent(label + " created " + std::to_string(r.left) + "," + std::to_string(r.top) + " " +
                  std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
}

void EventPrinter::OnDestroyed(const MemoryWindow& window) {
  EmitWindowEvent(LabelOf(window) + " destroyed");
}

void EventPrinter::OnLineAdded(const MemoryWindow& box, int index) {
  const std::string& label = LabelOf(box);
  const std::string& line = box.lines[static_cast<std::size_t>(index)];
  // A counter box is rewritten as a whole: its new text is what matters.
  if (IsCounterBox(label)) {
    EmitWindowEvent(label + " " + Quoted(line));
  } else {
    // Numbered by the run, also once the box has dropped its oldest lines.
    EmitWindowEvent(label + " line " +
                    std::to_string(box.dropped + static_cast<std::uint64_t>(index)) + " " +
                    Quoted(line));
  }
}

void EventPrinter::OnReset(const MemoryWindow& box) {
  const std::string& label = LabelOf(box);
  if (IsCounterBox(label)) return;  // part of a rewrite
  EmitWindowEvent(label + " emptied");
}

void EventPrinter::OnMenuState(int command, int state) {
  // Items start enabled; only changes are worth a line.
  const auto it = menu_states_.find(command);
  const int before = it == menu_states_.end() ? kMenuEnabled : it->second;
  menu_states_[command] = state;
  if (state == before) return;
  const std::string name = *CommandName(command) ? CommandName(command) : std::to_string(command);
  EmitWindowEvent("menu " + name + (state == kMenuEnabled ? " enabled" : " greyed"));
}

void EventPrinter::OnMessageBox(const char* text, const char* caption, unsigned /*type*/) {
  Emit("message " + Quoted(caption) + " " + Quoted(text));
}

void EventPrinter::OnBeep(unsigned type) {
  EmitWindowEvent("beep " + std::to_string(type));
}

void EventPrinter::OnQuit(int exit_code) {
  EmitWindowEvent("quit " + std::to_string(exit_code));
}

void EventPrinter::OnExported(const char* file_name) {
  if (!window_events_) Emit("export " + Escaped(file_name));
}

void EventPrinter::OnPortLost(const PortEvent&) {
  Emit("port lost");
}

void EventPrinter::OnPortBack(const PortEvent& event) {
  Emit("port back " + OutageSeconds(event.outage_ms));
}

const std::string& EventPrinter::LabelOf(const MemoryWindow& window) const {
  static const std::string kWindow = "window";
  const auto it = labels_.find(window.handle);
  return it == labels_.end() ? kWindow : it->second;
}

void EventPrinter::Emit(const std::string& line) {
  if (out_ == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fputc('\n', out_);
  if (!batched_) std::fflush(out_);
}
