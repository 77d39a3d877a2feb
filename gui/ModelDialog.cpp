#include "gui/ModelDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The list item that begins with `text`, letter case ignored; -1 for none.
int itemStartingWith(const QListWidget* list, const QString& text) {
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->text().startsWith(text, Qt::CaseInsensitive)) return i;
  return -1;
}

}  // namespace

ModelDialog::ModelDialog(DialogModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setWindowTitle(qs(model.title));
  auto* top = new QVBoxLayout(this);

  // Each run of fields and buttons with one group name shares one group box.
  std::map<std::string, QFormLayout*> groups;
  auto formFor = [&](const std::string& group) -> QFormLayout* {
    auto it = groups.find(group);
    if (it != groups.end()) return it->second;
    QFormLayout* form;
    if (group.empty()) {
      form = new QFormLayout;
      top->addLayout(form);
    } else {
      auto* box = new QGroupBox(qs(group), this);
      form = new QFormLayout(box);
      top->addWidget(box);
    }
    return groups[group] = form;
  };

  for (const DialogField& f : model.fields) {
    QFormLayout* form = formFor(f.group);
    switch (f.kind) {
      case DialogControl::Edit:
      case DialogControl::ReadOnlyEdit: {
        auto* edit = new QLineEdit(this);
        if (f.kind == DialogControl::ReadOnlyEdit) {
          // A value to read, not to change: greyed, and passed over by the Tab key.
          edit->setReadOnly(true);
          edit->setFocusPolicy(Qt::NoFocus);
          QPalette palette = edit->palette();
          palette.setColor(QPalette::Base, palette.color(QPalette::Window));
          edit->setPalette(palette);
        }
        auto* label = new QLabel(qs(f.label), this);
        label->setBuddy(edit);
        form->addRow(label, edit);
        controls_[f.id] = edit;
        break;
      }
      case DialogControl::CheckBox: {
        auto* box = new QCheckBox(qs(f.label), this);
        form->addRow(box);
        controls_[f.id] = box;
        break;
      }
      case DialogControl::List: {
        auto* list = new QListWidget(this);
        if (!f.label.empty()) form->addRow(new QLabel(qs(f.label), this));
        form->addRow(list);
        connect(list, &QListWidget::itemDoubleClicked, this, &ModelDialog::accept);
        controls_[f.id] = list;
        break;
      }
      case DialogControl::Label: {
        auto* text = new QLabel(qs(f.text), this);
        if (f.label.empty()) {
          form->addRow(text);
        } else {
          auto* name = new QLabel(qs(f.label), this);
          name->setTextFormat(Qt::PlainText);
          form->addRow(name, text);
        }
        text->setTextFormat(Qt::PlainText);
        break;
      }
    }
  }

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QDialogButtonBox::Ok);
  if (!model.okOnly) buttons->addButton(QDialogButtonBox::Cancel);
  for (const DialogButton& b : model.buttons) {
    auto* button = new QPushButton(qs(b.label), this);
    button->setAutoDefault(false);
    if (b.group.empty()) {
      buttons->addButton(button, QDialogButtonBox::ActionRole);
    } else {
      formFor(b.group)->addRow(button);
    }
    connect(button, &QPushButton::clicked, this, [this, id = b.id] { pressButton(id); });
    controls_[b.id] = button;
  }
  connect(buttons, &QDialogButtonBox::accepted, this, &ModelDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ModelDialog::reject);
  top->addWidget(buttons);
  loadTexts();
  // The keyboard starts in the first control the user can change.
  for (const DialogField& f : model.fields) {
    if (f.kind == DialogControl::Edit || f.kind == DialogControl::CheckBox || f.kind == DialogControl::List) {
      if (QWidget* w = control(f.id)) {
        w->setFocus();
        break;
      }
    }
  }
}

QWidget* ModelDialog::control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void ModelDialog::pressButton(int id) {
  storeTexts();
  model_.press(id);
  loadTexts();
}

void ModelDialog::accept() {
  storeTexts();
  QDialog::accept();
}

void ModelDialog::storeTexts() {
  for (DialogField& f : model_.fields) {
    QWidget* w = control(f.id);
    if (!w || f.kind == DialogControl::Label || f.kind == DialogControl::ReadOnlyEdit) continue;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      f.text = edit->text().toStdString();
    } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
      f.text = box->isChecked() ? "1" : "0";
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      if (list->currentItem()) f.text = list->currentItem()->text().toStdString();
    }
  }
}

void ModelDialog::loadTexts() {
  for (const DialogField& f : model_.fields) {
    QWidget* w = control(f.id);
    if (!w) continue;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      edit->setText(qs(f.text));
    } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
      box->setChecked(f.text == "1");
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      list->clear();
      for (const std::string& item : f.items) list->addItem(qs(item));
      const int selected = itemStartingWith(list, qs(f.text));
      if (selected >= 0) list->setCurrentRow(selected);
    }
  }
}
