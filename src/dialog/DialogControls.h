#pragma once
// The controls of a dialog by their numbers: every control widget is named "c" followed by its
// number (c1013 is the start hour combo). One lookup, used by the code, the tests and the
// message bus that lets a host press a button from outside.
#include <QHash>
#include <QPointer>
#include <QWidget>

class DialogControls {
  public:
    explicit DialogControls(QWidget* root);
    // The control with the number, or null. A number not yet known is looked for again among
    // the window's widgets: the preview and the player join the window after it was built.
    QWidget* Find(int id) const;
    template <class T>
    T* Get(int id) const {
        return qobject_cast<T*>(Find(id));
    }
    // The number of a control widget, or 0.
    static int IdOf(const QObject* widget);

  private:
    // Adds the window's numbered widgets not yet known; a number keeps its first widget. Those
    // of another window (a dialog opened over this one) are left out, as they go with it.
    void Scan() const;

    QWidget* root_;
    mutable QHash<int, QPointer<QWidget>> controls_;
};
