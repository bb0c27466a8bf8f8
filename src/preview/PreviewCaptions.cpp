#include "preview/PreviewCaptions.h"

#include <QLabel>
#include <utility>

#include "app/CQuillonApp.h"
#include "preview/PreviewControlIds.h"

QLabel* PreviewCaption(int id, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString("c%1").arg(id));
    return label;
}

void SetPreviewCaptionTexts(QWidget& preview, CQuillonApp& app) {
    for (const auto& [id, key] :
         {std::pair{ctl::kDayListCaption, "B010001"}, std::pair{ctl::kPlayCameraCaption, "B010002"},
          std::pair{ctl::kSpeedCaption, "B010003"}, std::pair{ctl::kSpeedSlow, "B010004"},
          std::pair{ctl::kSpeedFast, "B010005"}, std::pair{ctl::kPlayHourCaption, "B010006"},
          std::pair{ctl::kPlayMinuteCaption, "B010007"}})
        if (auto* label = preview.findChild<QLabel*>(QString("c%1").arg(id)))
            label->setText(QString::fromStdString(app.GetLanguageText("BACKUP", key)));
}
