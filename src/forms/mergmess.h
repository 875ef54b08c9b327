#pragma once
#include "base/Progress.h"

#include <QWidget>

class QLabel;

// The small "please wait" window shown while the merge and the deletion of an application's rows run on the
// one thread. It has no behaviour of its own: its users report through IProgress.
class TmergemessFm : public QWidget, public invexa::IProgress {
    Q_OBJECT
public:
    explicit TmergemessFm(QWidget *parent = nullptr);

    void Start(const std::string &headline) override;
    void Step(const std::string &item) override;
    void Finish() override;

    QLabel *Label1 = nullptr;
    QLabel *FilenameLbl = nullptr;

private:
    static void SetLabel(QLabel *label, const QString &text);
    void RepaintNow();
};

extern TmergemessFm *mergemessFm;
