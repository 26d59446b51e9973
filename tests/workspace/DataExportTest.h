#pragma once
// The data export dialog's fixtures, shared by its tests and its comparison with the
// command-line tool (which runs in a binary of its own).
#include "QtTestApp.h"
#include "LibFrmModal.h"
#include "UntDataExport.h"

#include "LibZymra.h"
#include "ZymraHeadless.h"
#include "ZymraUi.h"

#include <QByteArray>
#include <QFile>
#include <QLocale>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

inline QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Records warnings and puts Qt's dialogs and the modal loop back afterwards.
class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZymraUi().Warning = [this](QWidget*, const QString& text) { Warnings << text; };
  }
  void TearDown() override {
    ResetZymraUi();
    TFrmModal::ShowModal = nullptr;
    QLocale::setDefault(QLocale::c());
  }
  QStringList Warnings;
};

// A finished run of a project saved to a file of its own folder.
class DataExport : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    ASSERT_TRUE(Dir.isValid());
    project = std::make_unique<TZymra>(&sync);
    run = project->AddRun();
    run->Params.TargetOD = 30;
    THeadlessOptions options;
    options.MaxSteps = 400;
    RunHeadless(sync, {run}, options);
    ASSERT_GT(run->Time.Rows(), 5);
    ProjectFile = Dir.filePath("proj.zym");
    ASSERT_TRUE(project->SaveToFile(QFile::encodeName(ProjectFile).toStdString())) << project->LastError;
  }
  QTemporaryDir Dir;
  TQueueSynchronizer sync;
  std::unique_ptr<TZymra> project;
  TZymra_Run* run = nullptr;
  QString ProjectFile;
};
