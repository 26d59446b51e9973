#pragma once
// Binds the entries of a tree view to pages. One page widget serves every run:
// an entry carries the run its page is shown for, and the show hook receives it.
// Pages live in a host stack whose widget 0 is the welcome page; placing a page
// adds it to the stack once and makes it current, detaching it shows the
// welcome page again.
#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>

#include "KelCompDataList.h"

class QStackedWidget;
class TFrmFullScreen;
class TNavigations;
class TZymra_Run;

class TNavigation : public TCompDataList {
 public:
  explicit TNavigation(TNavigations* navigations = nullptr, QWidget* page = nullptr, TZymra_Run* run = nullptr);
  // An entry freed while it is the collection's Current leaves no Current behind.
  ~TNavigation() override;

  // Shows this entry's page through the collection; false when it has no page,
  // no collection, or the page shown now refuses to be left.
  virtual bool Activate(bool force);

  QPointer<QWidget> Page;  // none for group entries
  TNavigations* Navigations = nullptr;
  TZymra_Run* Run = nullptr;
  std::function<bool()> OnCanLeave;            // asked before the page is left
  std::function<void(TZymra_Run*)> OnShow;     // after the page was placed; only with a Run
  std::function<void()> OnHide;                // the page is left and leaving was allowed
  std::function<void(int)> OnPageTag;          // receives PageTag before OnShow
  // Takes what the page holds into its run while the page stays shown and bound to it.
  std::function<void()> OnStore;
  bool Enabled = true;
  int PageTag = 0;
};

class TNavigationTree : public TNavigation {
 public:
  using TNavigation::TNavigation;

  // Caption + the run's RunCaption when bound to a run.
  std::string GetCaption() const override;
  // Bound to a run: 2 * state (selected 2 * state + 1); else by Enabled.
  int GetImageIndex() const override;
  int GetSelectedIndex() const override;
  bool Activate(bool force) override;  // false when not Enabled

  void SetAppearance(const std::string& caption, int imageIndex, int selectedIndex, int disabledImageIndex,
                     int disabledSelectedIndex);

  std::string Caption;  // Windows-1252
  int ImageIndex = -1;
  int SelectedIndex = -1;
  int DisabledImageIndex = -1;
  int DisabledSelectedIndex = -1;
};

// The collection and root node of the tree.
class TNavigations : public TCompDataList {
 public:
  TNavigations(std::string caption, int imageIndex, int selectedIndex, QStackedWidget* hostPanel);
  ~TNavigations() override;

  std::string GetCaption() const override { return Caption; }
  int GetImageIndex() const override { return ImageIndex; }
  int GetSelectedIndex() const override { return SelectedIndex; }

  // Creates an entry of this collection as the last item of parent (the
  // collection itself or a group entry), owned by parent.
  TNavigationTree* AddEntry(TCompDataList& parent, QWidget* page = nullptr, TZymra_Run* run = nullptr,
                            int pageTag = 0);

  bool CanLeaveCurrent();
  // Places the entry's page and makes the entry Current. False, with nothing
  // changed, when the entry has no page or (unless force) the page of Current
  // refuses to be left.
  bool ShowEntry(TNavigation* entry, bool force);
  // Shows the welcome page; the leave hook of Current runs if it may be left (with
  // force, without asking: its run is being discarded); no Current.
  void Deactivate(bool force = false);
  // The leave hook of Current, if it may be left; Current and its page stay.
  void LeaveCurrent();
  // Before a command that acts on the runs or the project: Current's page is checked as
  // for leaving it and, when it may be left, takes its values into its run (OnStore; an
  // entry without one is left and shown again). False when the page refused (it said
  // why): the command must not go on. True without a Current.
  bool StoreCurrent();
  // The show hook of Current again, for its run.
  void ReshowCurrent();
  void RefreshCurrent();
  bool HasPage() const;
  // The page of Current in the full-screen window, put back afterwards.
  // showModal replaces the modal loop (tests).
  void ShowFullScreen(QWidget* owner = nullptr, const std::function<int(TFrmFullScreen&)>& showModal = {});

  // Rebuilds the tree and selects the node of Current; when no node carries it
  // any more, Current becomes none, the root is selected and the welcome page shows:
  // no page stays on screen without the entry that binds it to its run.
  void Refill(ICompTreeView& tree, bool expand);
  // The first node, in tree order, whose entry is bound to run.
  static TViewNode NodeOfRun(const ICompTreeView& tree, const TZymra_Run* run);
  // The first entry, in tree order, with this page, run and page tag; nullptr when none.
  TNavigation* FindEntry(const QWidget* page, const TZymra_Run* run, int pageTag) const;
  // Activates the selected node; on success Refill, otherwise the node of Current
  // (the root when there is none) is selected again. Errors of the hooks pass on.
  bool Navigate(ICompTreeView& tree, bool forward, bool expand);
  // Navigate, then callback; an attempt that raised an error is repeated after
  // RetryDelayMs, at most RetryLimit attempts in all, after which the last error
  // is shown (ShowMessageText) and false returned.
  bool NavigateRetrying(ICompTreeView& tree, bool forward, const std::function<void()>& callback);
  // Keyboard navigation for a tree view's key press (Qt::Key_Up: backwards,
  // Qt::Key_Left: forwards). Returns true when it handled the key; the selection
  // then already rests on the activated node (or on Current's node when nothing
  // could be activated), so the caller must swallow the key instead of letting
  // the tree move the selection as well. Other keys, or no tree: false.
  bool HandleKey(ICompTreeView* tree, int key, const std::function<void()>& callback);

  QStackedWidget* HostPanel;
  std::string Caption;
  int ImageIndex;
  int SelectedIndex;
  TNavigation* Current = nullptr;
  int RetryLimit = 5;
  int RetryDelayMs = 20;

 private:
  friend bool ActivateSelected(ICompTreeView& tree, bool forward);
  // Shows the welcome page and runs the leave hook of Current when allowed.
  void LeaveAndDetach(bool mayLeave);
};

// Activates the entry of the selected node. An entry that cannot be shown (no
// page, disabled) passes on to the next (forward) or previous node; the root
// shows the welcome page. A page that refuses to be left stops it: false.
bool ActivateSelected(ICompTreeView& tree, bool forward);
// The entry of the selected node; nullptr when nothing is selected or the node
// carries no entry (the root carries the collection).
TNavigation* EntryOfSelected(const ICompTreeView& tree);
