#pragma once
// The preview's captions: labels named by their control number, whose words come from the
// language file once the preview starts.
class CQuillonApp;
class QLabel;
class QWidget;

QLabel* PreviewCaption(int id, QWidget* parent);
// Every caption below preview gets its text of the language file's BACKUP section.
void SetPreviewCaptionTexts(QWidget& preview, CQuillonApp& app);
