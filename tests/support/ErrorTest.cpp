#include "support/Error.h"
#include "support/ScriptedErrorReporter.h"
#include "support/StepRunner.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tallyrow;

namespace {

Error fileNotFound() {
    return Error(ErrNo::FileNotFound, QStringLiteral("File not found"), QStringLiteral("Open"));
}

} // namespace

TEST(Error, HelpersAddTheirStepOutermostFirst) {
    try {
        withStep(QStringLiteral("finding the data file"),
                 [] { withStep(QStringLiteral("checking the data file"), [] { throw fileNotFound(); }); });
        FAIL() << "the failure was swallowed";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrNo::FileNotFound);
        EXPECT_EQ(e.description(), QStringLiteral("File not found"));
        EXPECT_EQ(e.steps(), (QStringList{QStringLiteral("finding the data file"),
                                          QStringLiteral("checking the data file"), QStringLiteral("Open")}));
    }
}

TEST(Error, ForeignExceptionsBecomeUnexpectedFailuresWithTheirText) {
    try {
        withStep(QStringLiteral("Load"), [] { throw std::runtime_error("disk on fire"); });
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrNo::Unexpected);
        EXPECT_EQ(e.description(), QStringLiteral("disk on fire"));
        EXPECT_EQ(e.steps(), QStringList{QStringLiteral("Load")});
    }
}

TEST(Error, WithStepPassesResultsThrough) {
    EXPECT_EQ(withStep(QStringLiteral("X"), [] { return 42; }), 42);
}

TEST(StepRunner, RetryRunsTheFailingStepAgainUntilItSucceeds) {
    ScriptedErrorReporter reporter;
    reporter.queueAnswer(ReportAnswer::Retry);
    reporter.queueAnswer(ReportAnswer::Retry);
    StepRunner run(askThrough(&reporter), QStringLiteral("opening the main window"),
                   QStringLiteral("loading the application"));
    int attempts = 0;
    bool after = false;
    EXPECT_TRUE(run.step([&] {
        if (++attempts < 3)
            throw fileNotFound();
    }));
    EXPECT_TRUE(run.step([&] { after = true; }));
    EXPECT_EQ(attempts, 3);
    EXPECT_TRUE(after);
    EXPECT_FALSE(run.left());
    ASSERT_EQ(reporter.calls().size(), 2);
    const auto& call = reporter.calls().first();
    EXPECT_EQ(call.steps, (QStringList{QStringLiteral("opening the main window"), QStringLiteral("Open")}));
    EXPECT_EQ(call.activity, QStringLiteral("loading the application"));
    EXPECT_EQ(call.number, ErrNo::FileNotFound);
    EXPECT_EQ(call.description, QStringLiteral("File not found"));
}

TEST(StepRunner, IgnoreSkipsExactlyTheFailingStep) {
    ScriptedErrorReporter reporter;
    reporter.queueAnswer(ReportAnswer::Ignore);
    StepRunner run(askThrough(&reporter), QStringLiteral("checking the data file"), {}, false);
    QStringList done;
    EXPECT_TRUE(run.step([&] { done << QStringLiteral("a"); }));
    EXPECT_FALSE(run.step([&] {
        done << QStringLiteral("b-start");
        throw fileNotFound();
    }));
    EXPECT_TRUE(run.step([&] { done << QStringLiteral("c"); }));
    EXPECT_EQ(done, (QStringList{QStringLiteral("a"), QStringLiteral("b-start"), QStringLiteral("c")}));
    ASSERT_EQ(reporter.calls().size(), 1);
    EXPECT_EQ(reporter.calls().first().steps,
              QStringList{QStringLiteral("checking the data file")}); // the error's own steps not added
}

TEST(StepRunner, AnyOtherAnswerLeavesWithTheResultSoFar) {
    for (const ReportAnswer answer : {ReportAnswer::Leave, ReportAnswer::Abort}) {
        SCOPED_TRACE(static_cast<int>(answer));
        ScriptedErrorReporter reporter;
        reporter.queueAnswer(answer);
        StepRunner run(askThrough(&reporter), QStringLiteral("Handler"));
        int result = 0;
        run.step([&] { result = 1; });
        run.step([&] { throw fileNotFound(); });
        EXPECT_FALSE(run.step([&] { result = 99; }));
        EXPECT_TRUE(run.left());
        EXPECT_EQ(result, 1);
        EXPECT_EQ(reporter.calls().size(), 1);
    }
}

TEST(StepRunner, LeavesWhenThereIsNobodyToAsk) {
    StepRunner run(nullptr, QStringLiteral("Handler"));
    EXPECT_FALSE(run.step([] { throw fileNotFound(); }));
    EXPECT_TRUE(run.left());
}

TEST(StepRunner, IgnoringFailuresSwallowsEverything) {
    EXPECT_NO_THROW(ignoringFailures([] { throw fileNotFound(); }));
    EXPECT_NO_THROW(ignoringFailures([] { throw 7; }));
}

TEST(ScriptedErrorReporter, AnswersFromItsQueueThenTheDefaultAndRaisesAbort) {
    ScriptedErrorReporter reporter;
    int aborts = 0;
    QObject::connect(&reporter, &ErrorReporter::Abort, &reporter, [&] { ++aborts; });
    reporter.queueAnswer(ReportAnswer::Retry);
    reporter.setDefaultAnswer(ReportAnswer::Ignore);
    EXPECT_EQ(reporter.ReportError(Failure{fileNotFound(), {}, {}}), ReportAnswer::Retry);
    EXPECT_EQ(reporter.ReportError(Failure{fileNotFound(), {}, {}}), ReportAnswer::Ignore);
    EXPECT_FALSE(reporter.Aborted());
    EXPECT_EQ(aborts, 0);
    reporter.queueAnswer(ReportAnswer::Abort);
    EXPECT_EQ(reporter.ReportError(Failure{fileNotFound(), {}, {}}), ReportAnswer::Abort);
    EXPECT_TRUE(reporter.Aborted());
    EXPECT_EQ(aborts, 1);
    EXPECT_EQ(reporter.calls().size(), 3);
}
