#pragma once
// The exhibit report set as a PDF on cairo's PDF surface: DejaVu Sans and DejaVu Sans Mono,
// embedded as subsets, the text selectable, each picture's JPEG bytes embedded as they are.
#include "ports/ExhibitPdf.h"

namespace report {

class CairoExhibitPdf : public ports::IExhibitPdf {
  public:
    std::string Render(const ports::ExhibitDocument& document, Paper paper,
                       std::string& pdf) override;
};

// Lets go of what cairo and the font library keep for every later report (loaded fonts, the
// font configuration), so that a leak check at a program's end sees only real leaks. Only after
// the last Render of the program, on no other thread rendering.
void ReleaseFontCaches();

}  // namespace report
