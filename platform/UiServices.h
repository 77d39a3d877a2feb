#pragma once
// Program-wide user-interface services: message boxes, questions, the beep,
// the wait cursor and file dialogs. Behaviour code reaches them only through
// ui(); the desktop shell installs a Qt backend, kavrilon-cli and the tests a
// headless one.

#include <optional>
#include <string>
#include <string_view>

#include "platform/DialogModel.h"

enum class MessageIcon { None, Exclamation, Question };

struct FileDialogOptions {
  std::string defaultExtension;  // without the dot, e.g. "s3d"
  std::string initialName;       // e.g. "*.s3d"
  std::string filter;            // "Text (*.s3d)|*.s3d|All Files (*.*)|*.*||"
  bool promptOverwrite = false;  // save dialogs only
};

class UiServices {
 public:
  virtual ~UiServices() = default;

  // A modal box with an OK button.
  virtual void messageBox(std::string_view text, MessageIcon icon = MessageIcon::None) = 0;
  // A modal Yes/No box with the question icon; true for Yes.
  virtual bool askYesNo(std::string_view text) = 0;
  virtual void beep() = 0;
  virtual void beginWaitCursor() = 0;
  virtual void endWaitCursor() = 0;
  // The chosen path, or nothing when the user cancelled.
  virtual std::optional<std::string> openFileDialog(const FileDialogOptions& dialog) = 0;
  virtual std::optional<std::string> saveFileDialog(const FileDialogOptions& dialog) = 0;
  // Shows `dialog` modally with its texts; the user's texts are left in it.
  // True for OK, false for Cancel or a closed dialog.
  virtual bool runDialog(DialogModel& dialog) = 0;
};

// The installed services; a headless instance that prints is used until one is installed.
UiServices& ui();
// Installs `services` (not owned) and returns the previous one; nullptr restores the default.
UiServices* installUiServices(UiServices* services);

// Shows the wait cursor for the lifetime of the object.
class WaitCursor {
 public:
  WaitCursor() { ui().beginWaitCursor(); }
  ~WaitCursor() { ui().endWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};
