// The UI thread's synchroniser: callbacks run on the owning thread in posting order,
// and a synchroniser that goes away never leaves a worker waiting.
#include "QtTestApp.h"
#include "ZymraQtSync.h"

#include <QCoreApplication>
#include <QThread>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

TEST(QtSynchronizer, RunsCallbacksOnTheOwningThreadInOrder) {
  TQtSynchronizer sync;
  std::vector<int> order;
  std::atomic<int> waited{0};
  const auto uiThread = QThread::currentThread();
  bool allOnUi = true;
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) {
      auto request = std::make_shared<TSyncRequest>([&, i] {
        order.push_back(i);
        allOnUi = allOnUi && QThread::currentThread() == uiThread;
      });
      sync.Post(request);
      if (request->Wait()) ++waited;
    }
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return waited.load() == 50; }, 20000));
  worker.join();
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
  EXPECT_TRUE(allOnUi);
}

TEST(QtSynchronizer, GoingAwayAbandonsWhatIsStillQueued) {
  auto sync = std::make_unique<TQtSynchronizer>();
  TQtSynchronizer* target = sync.get();
  bool ran = false;
  auto request = std::make_shared<TSyncRequest>([&] { ran = true; });
  std::atomic<bool> posted{false};
  std::atomic<int> result{-1};
  std::thread worker([&] {
    target->Post(request);
    posted = true;
    result = request->Wait() ? 1 : 0;
  });
  // No event loop runs before the synchroniser goes: the request is still queued.
  while (!posted) std::this_thread::yield();
  sync.reset();
  worker.join();
  EXPECT_EQ(result.load(), 0);
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}
