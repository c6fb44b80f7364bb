// A spectrogram core whose device is a script: starts are answered from
// startAnswers (1 once it runs out), terminates are counted, and the data
// handed over are the words in delivered.
#pragma once

#include <algorithm>
#include <deque>
#include <vector>

template <class Core> class ScriptedStream : public Core {
public:
    ScriptedStream() : Core(nullptr, nullptr) {}
    std::deque<int> startAnswers;
    std::vector<short> delivered;
    int terminates = 0;

protected:
    int NextStartAnswer() {
        if (startAnswers.empty())
            return 1;
        const int answer = startAnswers.front();
        startAnswers.pop_front();
        return answer;
    }
    void DeviceTerminate() override { ++terminates; }
    void WaitAfterTerminate() override {}
    int DeviceDataCount() override { return static_cast<int>(delivered.size()); }
    int DeviceReceiveData(short* buffer, int count) override {
        std::copy_n(delivered.begin(), std::min<size_t>(count, delivered.size()), buffer);
        return 1;
    }
};
