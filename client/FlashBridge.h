#pragma once
// The texts exchanged with the movies: calls into a movie and requests out of it, both as
// `invoke` elements, and the settings every movie host gets.
#include <QString>
#include <QStringList>

class FlashPlayer;

// `<invoke name="NAME"  returntype="xml"><arguments><string>A</string>...</arguments></invoke>`:
// arguments are inserted as they are, so markup arrives as nested elements.
QString BuildCall(const QString& function, const QStringList& args);

// "&", "<" and ">" of a name as XML entities, so that the name cannot break a call text (">"
// would end it in "]]>").
QString escapeForCall(QString text);

// Builds the call and hands it to the movie; false when the movie refused it.
bool CallMovie(FlashPlayer* movie, const QString& function, const QStringList& args);

// Reads a request: the `name` of its first node and the text of the first element inside its
// arguments. False for a text that is not well-formed, lacks the name or carries no argument.
bool ReadRequest(const QString& request, QString& name, QString& argument);

// The settings of every movie host; the player's own menu only where `menu` is true.
void SetupMovieHost(FlashPlayer* movie, bool menu);
