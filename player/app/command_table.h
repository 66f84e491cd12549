// CommandTable: the player's keyboard commands, each a name, its keys and
// what it does, kept in one table that the main window fills and its key
// handler looks up (and that help texts can list). GUI thread only.
#pragma once

#include <QString>
#include <QVector>

#include <functional>
#include <initializer_list>

namespace vistamo::app {

class CommandTable {
public:
    struct Command {
        QString name;
        QVector<int> keys;  // Qt::Key values
        std::function<void()> run;
    };

    void add(const QString& name, std::initializer_list<int> keys, std::function<void()> run);
    // Runs the command bound to key; false when none is.
    bool run(int key) const;
    const QVector<Command>& commands() const { return commands_; }

private:
    QVector<Command> commands_;
};

}  // namespace vistamo::app
