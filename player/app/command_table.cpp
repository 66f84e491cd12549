#include "command_table.h"

namespace vistamo::app {

void CommandTable::add(const QString& name, std::initializer_list<int> keys, std::function<void()> run) {
    commands_.push_back({name, QVector<int>(keys), std::move(run)});
}

bool CommandTable::run(int key) const {
    for (const Command& command : commands_)
        if (command.keys.contains(key)) {
            command.run();
            return true;
        }
    return false;
}

bool CommandTable::run(const QString& name) const {
    for (const Command& command : commands_)
        if (command.name == name) {
            command.run();
            return true;
        }
    return false;
}

}  // namespace vistamo::app
