// CommandTable: every command of the player's window, each a name, its keys
// and what it does, in one table. The keys, the buttons, the menus and the
// title bar all go through it: the window binds each control to a command
// by name, and its key handler looks keys up here (help texts can list the
// table). GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <initializer_list>

namespace vistamo::app {

class CommandTable {
public:
    struct Command {
        QString name;
        QVector<int> keys;  // Qt::Key values; empty for commands without a key
        std::function<void()> run;
    };

    void add(const QString& name, std::initializer_list<int> keys, std::function<void()> run);
    // Runs the command bound to key; false when none is.
    bool run(int key) const;
    // Runs the command of that name; false when there is none.
    bool run(const QString& name) const;
    // Runs the named command whenever sender emits signal (the signal's
    // arguments are not used).
    template <typename Sender, typename Signal>
    void bind(Sender* sender, Signal signal, const QString& name) const {
        QObject::connect(sender, signal, sender, [this, name] { run(name); });
    }
    const QVector<Command>& commands() const { return commands_; }

private:
    QVector<Command> commands_;
};

}  // namespace vistamo::app
