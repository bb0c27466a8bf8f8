#pragma once
// The dialog's edit controls with the edit font of the language file ("EditLanguage"): the
// multi-line memo, limited to the characters its record holds, and the one-line target text.
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/CProfileReadWrite.h"

// The edit font of the profile: face, height and weight, the default character set.
QFont EditFont(const CProfileReadWrite& profile);

class CEzEdit : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit CEzEdit(QWidget* parent = nullptr);
    // At most this many bytes of text (UTF-8, as the memo's record holds it); what is typed or
    // pasted past it is not taken, and the text already there is kept whole.
    void SetLimitText(int bytes);
    void SetEditFont(const CProfileReadWrite& profile);

  private:
    void Limit();
    int m_nLimit = 0;
    bool m_bLimiting = false;
    QString m_strKept;  // the text as it stood after the last edit
};
