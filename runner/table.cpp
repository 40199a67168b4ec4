// The one way a command or an expectation is carried out on either device:
// its action, the error it ends in, its implicit sync; and the lookups and
// help made from the tables (commands.cpp, expect_forms.cpp).
#include <algorithm>
#include <sstream>
#include <thread>
#include <type_traits>

#include "table.hpp"

namespace runner {

using namespace table_parts;

namespace {

// An entry's action (or look) on the backend.
template <class Backend, class Entry>
auto part_of(const Entry& e) {
    if constexpr (std::is_same_v<Backend, Device>) return e.device;
    else return e.wine;
}

// Runs `f`; whatever goes wrong ends the script at the command's line,
// except the runner's own breakdown.
template <class F>
void at_line(const Command& c, F f) {
    try {
        f();
    } catch (const ScriptError&) {
        throw;
    } catch (const Broken&) {
        throw;
    } catch (const std::runtime_error& e) {
        throw ScriptError(c.where + ": " + e.what());
    } catch (const std::invalid_argument& e) {
        throw ScriptError(c.where + ": " + e.what());
    }
}

}  // namespace

// An expectation is judged once, at the quiet point the command before it
// ended at; a form the backend cannot show is reported as skipped.
template <class Backend>
void Table::check(Backend& b, const Command& c) {
    auto look = part_of<Backend>(*c.form);
    if (!look) {
        if (b.options_.out)
            *b.options_.out << c.where << ": SKIPPED under " << Backend::name << ": expect " << c.form->name << " ("
                            << c.form->wine_lacks << ")\n";
        if (b.options_.observe) b.options_.observe(c.where, "skipped");
        return;
    }
    try {
        at_line(c, [&] {
            if (std::string failure = c.form->judge(c, look(b, c)); !failure.empty()) refuse(failure);
        });
        if (b.options_.observe) b.options_.observe(c.where, "held");
    } catch (const ScriptError& e) {
        if (b.options_.observe) b.options_.observe(c.where, e.what());
        throw;
    }
}

template <class Backend>
bool Table::perform(Backend& b, const Command& c) {
    if (c.form) {
        check(b, c);
        return true;
    }
    if (c.command->after == After::end) return false;
    at_line(c, [&] {
        part_of<Backend>(*c.command)(b, c);
        if (c.command->after == After::sync) b.settle();
    });
    return true;
}

bool Device::run(const Command& c) { return Table::perform(*this, c); }
bool WineBackend::run(const Command& c) { return Table::perform(*this, c); }

template <class Entry>
const Entry* find_named(const std::vector<Entry>& table, const std::string& name) {
    auto e = std::find_if(table.begin(), table.end(), [&](const Entry& e) { return name == e.name; });
    return e == table.end() ? nullptr : &*e;
}
const CommandEntry* find_command(const std::string& name) { return find_named(Table::commands(), name); }
const ExpectEntry* find_expect(const std::string& name) { return find_named(Table::expect_forms(), name); }

// One line a command, its help in a column of its own, wrapped at 79.
std::string commands_help() {
    constexpr size_t column = 30, width = 79;
    std::string out;
    auto line = [&out](bool acts, const std::string& usage, const std::string& help) {
        out += (acts ? "* " : "  ") + usage;
        size_t at = usage.size() + 2;
        std::istringstream words(help);
        for (std::string w; words >> w; at += w.size(), out += w) {
            if (at < column) {
                out += std::string(column - at, ' ');
                at = column;
            } else if (at == usage.size() + 2 || at + 1 + w.size() > width) {
                out += "\n" + std::string(column, ' ');
                at = column;
            } else {
                out += ' ';
                ++at;
            }
        }
        out += "\n";
    };
    for (const auto& e : Table::commands()) line(e.after == After::sync, e.name + usage_of(e.params), e.help);
    for (const auto& e : Table::expect_forms())
        line(false, std::string("expect ") + e.name + usage_of(e.params), e.help);
    return out;
}

}  // namespace runner
