#include "KelCmpGradient.h"
#include "LibSplash.h"
#include "QtTestApp.h"
#include "libNavFullScreen.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <stdexcept>

namespace {

// A main window whose content area holds a header, the page and a footer.
struct FullScreenTest : ::testing::Test {
  QWidget Main;
  QWidget* Content = new QWidget(&Main);
  QVBoxLayout* Layout = new QVBoxLayout(Content);
  QLabel* Header = new QLabel("header");
  QWidget* Page = new QWidget;
  QLabel* Footer = new QLabel("footer");
  void SetUp() override {
    Main.resize(500, 400);
    Content->setGeometry(0, 0, 500, 400);
    Layout->addWidget(Header);
    Layout->addWidget(Page, 3);
    Layout->addWidget(Footer);
    Page->setObjectName("Page");
    Page->resize(320, 240);
    auto* inside = new QLabel("page content", Page);
    inside->move(10, 10);
    Main.show();
  }
  void ExpectPageHome() {
    EXPECT_EQ(Page->parentWidget(), Content);
    EXPECT_EQ(Layout->indexOf(Page), 1);
    EXPECT_EQ(Layout->stretch(1), 3);
    EXPECT_FALSE(Page->isHidden());
  }
};

TEST_F(FullScreenTest, BorrowsThePageAndReturnsItToItsSlot) {
  int shown = 0;
  const QSize pageSize = Page->size();
  ShowControlFullScreen(Page, &Main, [&](TFrmFullScreen& form) {
    ++shown;
    EXPECT_EQ(form.windowTitle(), "Current Variation In Full Screen");
    EXPECT_EQ(form.parentWidget(), &Main);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.minimumSize(), pageSize);
    EXPECT_EQ(form.FormerParent, Content);
    EXPECT_EQ(Page->parentWidget(), form.PnlFullScreen);
    EXPECT_EQ(Layout->indexOf(Page), -1);
    EXPECT_EQ(form.ActClose->shortcut(), QKeySequence(Qt::Key_F11));
    form.resize(640, 480);
    form.show();
    EXPECT_TRUE(form.grab().save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/fullscreen.png")));
    return 0;
  });
  EXPECT_EQ(shown, 1);
  ExpectPageHome();
}

TEST_F(FullScreenTest, ReturnsThePageAfterAnError) {
  EXPECT_THROW(ShowControlFullScreen(Page, &Main,
                                     [&](TFrmFullScreen&) -> int { throw std::runtime_error("boom"); }),
               std::runtime_error);
  ExpectPageHome();
  EXPECT_TRUE(Main.findChildren<TFrmFullScreen*>().isEmpty());  // and the window is gone
}

TEST_F(FullScreenTest, F11ClosesTheRealWindow) {
  bool closedByKey = false;
  QTimer::singleShot(50, [&] {
    auto* form = qobject_cast<TFrmFullScreen*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    QTest::keyClick(form, Qt::Key_F11);
    closedByKey = !form->isVisible();
    if (!closedByKey) form->reject();  // do not hang the test when the key went astray
  });
  ShowControlFullScreen(Page, &Main);
  EXPECT_TRUE(closedByKey);
  ExpectPageHome();
}

TEST(FullScreen, NoControlDoesNothing) {
  ShowControlFullScreen(nullptr, nullptr, [](TFrmFullScreen&) -> int {
    ADD_FAILURE() << "no window expected";
    return 0;
  });
}

TEST(FullScreen, StackedPagesComeBackAsTheCurrentOne) {
  QStackedWidget pages;
  auto* first = new QWidget;
  auto* second = new QWidget;
  auto* third = new QWidget;
  pages.addWidget(first);
  pages.addWidget(second);
  pages.addWidget(third);
  pages.setCurrentWidget(second);
  pages.show();
  ShowControlFullScreen(second, &pages, [&](TFrmFullScreen&) {
    EXPECT_EQ(pages.count(), 2);
    return 0;
  });
  EXPECT_EQ(pages.count(), 3);
  EXPECT_EQ(pages.indexOf(second), 1);
  EXPECT_EQ(pages.currentWidget(), second);
}

TEST(FullScreen, PagesWithoutLayoutKeepTheirGeometry) {
  QWidget main;
  auto* page = new QWidget(&main);
  page->setGeometry(12, 34, 200, 100);
  main.show();
  ShowControlFullScreen(page, &main, [](TFrmFullScreen&) { return 0; });
  EXPECT_EQ(page->parentWidget(), &main);
  EXPECT_EQ(page->geometry(), QRect(12, 34, 200, 100));
  EXPECT_TRUE(page->isVisible());
}

TFrmSpalsh* FindSplash() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* splash = qobject_cast<TFrmSpalsh*>(widget)) return splash;
  return nullptr;
}

TEST(Splash, StaysVisibleForItsDurationThenGoes) {
  int waited = -1;
  bool visible = false;
  ShowSplash("Zymra Simulation", "1.0.2", 3000, [&](int ms) {
    waited = ms;
    TFrmSpalsh* splash = FindSplash();
    ASSERT_NE(splash, nullptr);
    visible = splash->isVisible();
    EXPECT_EQ(splash->size(), QSize(456, 247));
    EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash->LblAppTitle->text(), "Zymra Simulation");
    EXPECT_EQ(splash->LblVersion->text(), "1.0.2");
    EXPECT_EQ(splash->Label5->text(), "Version");
    EXPECT_EQ(splash->Label1->text(), "Quenvar");
    EXPECT_EQ(splash->Label4->text(), "Software Engineering");
    EXPECT_EQ(splash->PaxGradient->Style(), TGradStyle::grPyramid);
    EXPECT_EQ(splash->PaxGradient->geometry(), QRect(0, 65, 456, 182));
    const QImage image = splash->grab().toImage();
    EXPECT_TRUE(image.save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/splash.png")));
    EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(2, 70), QColor(240, 202, 166));  // the gradient's edge
    EXPECT_TRUE(splash->mask().isEmpty());
  });
  EXPECT_EQ(waited, 3000);
  EXPECT_TRUE(visible);
  EXPECT_EQ(FindSplash(), nullptr);
}

TEST(Splash, IsFreedAfterAnError) {
  EXPECT_THROW(ShowSplash("Zymra Simulation", "1.0.2", 3000,
                          [](int) { throw std::runtime_error("start-up failed"); }),
               std::runtime_error);
  EXPECT_EQ(FindSplash(), nullptr);
}

TEST(Splash, DefaultWaitLastsTheDuration) {
  QElapsedTimer clock;
  clock.start();
  WaitHandlingEvents(120);
  EXPECT_GE(clock.elapsed(), 120);
  EXPECT_LT(clock.elapsed(), 2000);
}

}  // namespace
