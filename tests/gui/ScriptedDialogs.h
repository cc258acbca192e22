// Dialogs answered from a script, for driving the window in tests: every panel
// takes the next prepared answer (nothing, as if cancelled, when none is left),
// replacing a file is always agreed to, and every question and warning is recorded.
#pragma once

#include <deque>
#include <optional>
#include <vector>

#include "gui/Dialogs.h"

class ScriptedDialogs : public Dialogs {
public:
    struct SaveRequest {
        QString title, label, startDir, proposedName;
    };

    std::optional<QString> chooseDirectory(const QString& startDir) override {
        directoryStarts.push_back(startDir);
        return Next(directories);
    }
    void warn(const QString& message) override { warnings.push_back(message); }

    // Answers to come.
    std::deque<std::optional<QString>> directories;
    std::deque<std::optional<QString>> saveFiles;
    // What was asked and said.
    std::vector<QString> directoryStarts;
    std::vector<SaveRequest> saveRequests;
    std::vector<QString> warnings;
    std::vector<QString> replaceQuestions;  // the files the user was asked to replace

protected:
    std::optional<QString> askSaveFile(const QString& title, const QString& label,
                                       const QString& startDir,
                                       const QString& proposedName) override {
        saveRequests.push_back({title, label, startDir, proposedName});
        return Next(saveFiles);
    }
    bool confirmReplace(const QString& path) override {
        replaceQuestions.push_back(path);
        return true;
    }

private:
    static std::optional<QString> Next(std::deque<std::optional<QString>>& answers) {
        if (answers.empty()) return std::nullopt;
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};
