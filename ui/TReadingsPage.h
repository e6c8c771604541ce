#pragma once
// The "Readings" page: the four transducer panels and the switch of their loop.

#include "app/Session.h"

#include <QWidget>
#include <memory>

namespace Ui {
class TReadingsPage;
}
class TReadingsPanel;

class TReadingsPage : public QWidget {
    Q_OBJECT
public:
    explicit TReadingsPage(tessary::app::Session& session, QWidget* parent = nullptr);
    ~TReadingsPage() override;

    // Captions and units from the connection state.
    void Refresh();
    // Runs the loop when the switch went on; returns when it is switched off.
    void btGetReadingsChange(bool on);

    TReadingsPanel* Panel(int index) const;  // 0..3
    Ui::TReadingsPage* Form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TReadingsPage> ui;
    tessary::app::Session& session_;
};
