#include "gui/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About kavrilon"));
  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(":/icons/kavrilon.svg").pixmap(48, 48));
  auto* text = new QVBoxLayout;
  text->addWidget(new QLabel(tr("kavrilon"), this));
  text->addWidget(new QLabel(tr("Draw three dimensional objects"), this));
  text->addWidget(new QLabel(tr("Version %1").arg(KAVRILON_VERSION), this));
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addLayout(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* top = new QVBoxLayout(this);
  top->addLayout(row);
  top->addWidget(buttons);
  top->setSizeConstraint(QLayout::SetFixedSize);
}
