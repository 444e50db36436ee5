#include "app/main_buttons.h"

#include <QColor>
#include <algorithm>

#include "app/template_texts.h"
#include "ui/button_st.h"

namespace orvana::app {

namespace {

enum class Look { Flat, Framed };
enum class Hint { None, Connect, Information, Settings };

struct ButtonSetup {
  int controlId;
  int iconId;
  Look look;
  Hint hint;
};

// The connect, information and settings buttons are flat and light up; the
// row of command buttons along the bottom is framed on white.
constexpr std::array<ButtonSetup, 9> kSetups{{
    {1001, 150, Look::Flat, Hint::Connect},
    {1004, 133, Look::Flat, Hint::Information},
    {1005, 132, Look::Flat, Hint::Settings},
    {1006, 143, Look::Framed, Hint::None},
    {1007, 136, Look::Framed, Hint::None},
    {1010, 138, Look::Framed, Hint::None},
    {1002, 135, Look::Framed, Hint::None},
    {1008, 141, Look::Framed, Hint::None},
    {1009, 140, Look::Framed, Hint::None},
}};

void ApplyFlatColours(CButtonST& button) {
  button.SetStateColor(CButtonST::BackNormal, QColor(153, 204, 255));
  button.SetStateColor(CButtonST::BackHover, QColor(204, 255, 51));
  button.SetStateColor(CButtonST::BackFocus, QColor(204, 204, 204));
  // Its green is already full, so the hover colour stays as it is.
  button.ShiftStateColor(CButtonST::BackHover, 255);
  button.SetImageAlignment(CButtonST::ImageAbove);
}

void ApplyFramedColours(CButtonST& button) {
  button.SetFlatLook(false);
  button.SetStateColor(CButtonST::BackNormal, Qt::white);
  button.SetStateColor(CButtonST::BackFocus, Qt::white);
  button.SetImageAlignment(CButtonST::ImageLeft);
}

}  // namespace

bool ConfigureMainWindowButton(CButtonST& button, int controlId, const QString& connectHint) {
  const auto setup =
      std::find_if(kSetups.begin(), kSetups.end(),
                   [controlId](const ButtonSetup& s) { return s.controlId == controlId; });
  if (setup == kSetups.end()) return false;

  button.LoadIconImage(setup->iconId);
  if (setup->look == Look::Flat)
    ApplyFlatColours(button);
  else
    ApplyFramedColours(button);

  switch (setup->hint) {
    case Hint::Connect:
      button.SetHintText(connectHint, true);
      break;
    case Hint::Information:
      button.SetHintText(captions::Caption(captions::kInfoHint), true);
      break;
    case Hint::Settings:
      button.SetHintText(captions::Caption(captions::kSettingsHint), true);
      break;
    case Hint::None:
      break;
  }
  return true;
}

}  // namespace orvana::app
