#include "template-editor/program.h"

#include <climits>
#include <stdexcept>

#include "template-editor/EditorDialog.h"
#include "text/sjis.h"
#include "text/teikei.h"

namespace quillet {

using namespace text::literals;

int PageFromParameters(std::string_view parameters) {
  std::size_t i = 0;
  auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < parameters.size() && blank(parameters[i])) ++i;
  bool negative = false;
  if (i < parameters.size() && (parameters[i] == '+' || parameters[i] == '-')) {
    negative = parameters[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < parameters.size() && parameters[i] >= '0' && parameters[i] <= '9'; ++i) {
    value = value * 10 + (parameters[i] - '0');
    if (value > INT_MAX) break;  // far out of range either way
  }
  if (negative) value = -value;
  if (value < 0) return text::kTeikeiCount - 1;
  if (value >= text::kTeikeiCount) return 0;
  return static_cast<int>(value);
}

Program::Program(platform::Platform p, std::string_view parameters)
    : platform(p), app(p.scheduler, p.renderer) {
  app.title = "Quillet";
  if (!platform.single_instance) {
    throw std::invalid_argument("Quillet needs the platform's single-instance service");
  }
  switch (platform.single_instance->Acquire(kMarkerName)) {
    case platform::SingleInstance::Result::Failed:
      return;
    case platform::SingleInstance::Result::HeldElsewhere:
      platform.dialogs.MessageBox("定型文エディタ for Mirabo は複数起動させることはできません。"_sj,
                                  "二重起動の禁止"_sj);
      return;
    case platform::SingleInstance::Result::Acquired:
      holds_marker_ = true;
      break;
  }
  int page = PageFromParameters(parameters);
  text::TeikeiLoad load = text::LoadTeikeiForEditor();
  if (load.damaged) platform.dialogs.MessageBox(text::TeikeiDamagedMessage(), "確認"_sj);
  Editor = std::make_unique<EditorDialog>(*this, load.entries, page);
  app.SetMainForm(Editor.get());
}

Program::~Program() {
  Editor.reset();
  ReleaseMarker();
}

void Program::Run() {
  if (!Editor) return;
  app.Run();
  if (app.terminated()) ReleaseMarker();
}

void Program::ReleaseMarker() {
  if (!holds_marker_) return;
  platform.single_instance->Release(kMarkerName);
  holds_marker_ = false;
}

}  // namespace quillet
