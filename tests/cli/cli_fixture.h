// korvane-cli's commands run in-process over a simulated machine set up from
// a scenario, with a scripted environment: what went out to the recorders and
// what the user saw are both at hand.
#pragma once

#include "app.h"
#include "environment.h"
#include "scenario.h"
#include "storage_stack.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace clitest {

class ScriptedEnvironment : public kvcli::Environment {
public:
    std::map<std::string, std::string> variables;
    std::deque<std::string> stdinLines;
    std::deque<std::string> terminalLines;  // answers to hidden prompts; none: no terminal
    bool hasTerminal = false;
    std::vector<std::string> prompts;
    std::string outText, errText;

    const char* variable(const char* name) override
    {
        auto it = variables.find(name);
        return it == variables.end() ? nullptr : it->second.c_str();
    }
    bool readLine(std::string* line) override
    {
        if (stdinLines.empty())
            return false;
        *line = stdinLines.front();
        stdinLines.pop_front();
        return true;
    }
    bool readHidden(const std::string& prompt, std::string* line) override
    {
        if (!hasTerminal || terminalLines.empty())
            return false;
        prompts.push_back(prompt);
        *line = terminalLines.front();
        terminalLines.pop_front();
        return true;
    }
    void out(const std::string& text) override { outText += text; }
    void err(const std::string& text) override { errText += text; }
};

class CliTest : public ::testing::Test {
protected:
    ~CliTest() override { stack.uninstall(); }

    // Sets the machine up from a scenario (as KORVANE_SIM does) and installs it.
    void machine(const std::string& scenario)
    {
        std::string error;
        ASSERT_TRUE(sim::applyScenario(stack, scenario, &error)) << error;
        stack.setObserver(noteArrival, this);
        stack.install();
    }

    // The PC clock (microseconds) when each set-time command reached a recorder.
    std::vector<int64_t> setTimeArrivals;
    // Holds the first set-time's answer back this long, as a busy system might.
    int holdFirstSetTimeMs = 0;
    // Holds every get-time's answer back this long, as a slow recorder would.
    int holdGetTimeMs = 0;

    int run(std::vector<std::string> args)
    {
        env.outText.clear();
        env.errText.clear();
        return kvcli::run(args, env);
    }

    nlohmann::json json() const { return nlohmann::json::parse(env.outText); }

    // The management commands that reached recorders, as (letter, sub-operation).
    std::vector<std::pair<char, int>> management() const
    {
        std::vector<std::pair<char, int>> out;
        for (const sim::Call& c : stack.vendorCalls())
            if (c.request.cdb[3] == 0xFE)
                out.emplace_back(c.letter, c.request.cdb[4]);
        return out;
    }
    std::vector<sim::Call> managementCalls(int subOperation) const
    {
        std::vector<sim::Call> out;
        for (const sim::Call& c : stack.vendorCalls())
            if (c.request.cdb[3] == 0xFE && c.request.cdb[4] == subOperation)
                out.push_back(c);
        return out;
    }
    static std::vector<uint8_t> cdbBytes(const sim::Call& c, int from, int to)
    {
        return std::vector<uint8_t>(c.request.cdb.begin() + from, c.request.cdb.begin() + to + 1);
    }
    int64_t offsetMs(char letter) { return stack.recorder(letter)->clockOffsetMicros() / 1000; }

    sim::StorageStack stack;
    ScriptedEnvironment env;

private:
    static void holdFor(int ms)
    {
        const int64_t until = sim::Recorder::pcMicros() + ms * 1000;
        while (sim::Recorder::pcMicros() < until) {
        }
    }

    static void noteArrival(const sim::Call& call, void* context)
    {
        if (call.kind == sim::Call::Kind::DeviceIoControl && call.request.cdb[3] == 0xFE &&
            call.request.cdb[4] == 0x08)
            holdFor(static_cast<CliTest*>(context)->holdGetTimeMs);
        if (call.kind == sim::Call::Kind::DeviceIoControl && call.request.cdb[3] == 0xFE &&
            call.request.cdb[4] == 0x03)
        {
            CliTest* self = static_cast<CliTest*>(context);
            self->setTimeArrivals.push_back(sim::Recorder::pcMicros());
            if (self->setTimeArrivals.size() == 1)
                holdFor(self->holdFirstSetTimeMs);
        }
    }
};

constexpr int kSubSetPassword = 0x01;
constexpr int kSubSetIdFirst = 0x02;
constexpr int kSubSetTime = 0x03;
constexpr int kSubIntoUDisk = 0x04;
constexpr int kSubLogin = 0x07;
constexpr int kSubGetTime = 0x08;
constexpr int kSubSetIdSecond = 0x09;
constexpr int kSubGetIdFirst = 0x0A;
constexpr int kSubGetIdSecond = 0x0B;

}  // namespace clitest
