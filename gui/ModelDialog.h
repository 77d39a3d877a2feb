#pragma once
// A Qt dialog built from a DialogModel: one widget per field, in the model's
// order, fields of one group inside one group box; the model's buttons beside
// OK and Cancel (or inside their group box). The user's texts go back into
// the model on OK and before any other button runs the model's handler; the
// handler's texts come back into the widgets, and the dialog stays open.

#include <map>

#include <QDialog>

#include "platform/DialogModel.h"

class QWidget;

class ModelDialog : public QDialog {
  Q_OBJECT

 public:
  ModelDialog(DialogModel& model, QWidget* parent = nullptr);

  // The widget of control `id`, or nullptr (for tests).
  QWidget* control(int id) const;
  // Presses the model's button `id` as a click would.
  void pressButton(int id);

  // Widgets -> model (the user's texts) and model -> widgets.
  void storeTexts();
  void loadTexts();

 public slots:
  void accept() override;

 private:
  DialogModel& model_;
  std::map<int, QWidget*> controls_;
};
