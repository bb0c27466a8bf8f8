#pragma once
// The controls of a dialog by their numbers: every control widget is named "c" followed by its
// number (c1013 is the start hour combo). One lookup, used by the code, the tests and the
// message bus that lets a host press a button from outside.
#include <QHash>
#include <QWidget>

class DialogControls {
  public:
    explicit DialogControls(QWidget* root);
    // The control with the number, or null.
    QWidget* Find(int id) const { return controls_.value(id, nullptr); }
    template <class T>
    T* Get(int id) const {
        return qobject_cast<T*>(Find(id));
    }
    // The number of a control widget, or 0.
    static int IdOf(const QObject* widget);

  private:
    QHash<int, QWidget*> controls_;
};
