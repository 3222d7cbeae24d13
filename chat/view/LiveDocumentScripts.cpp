#include "LiveDocumentScripts.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vessaro {
namespace {

// A function of one argument: null to file the body's own nodes, or the HTML to append. New nodes
// go into the last block until it holds kNodesPerBlock; the rest are moved on into new blocks, in
// order, so a page grown by appends is filed exactly like the same page loaded whole.
constexpr const char* kPlaceNodes = R"JS(
(function (html) {
  var perBlock = %1;
  var marker = 'data-vessaro-block';
  var body = document.body;
  if (!body)
    return;
  function newBlock() {
    var block = document.createElement('div');
    block.setAttribute(marker, '');
    body.appendChild(block);
    return block;
  }
  var last = null;
  var nodes;
  if (html === null) {
    nodes = Array.prototype.slice.call(body.childNodes);
  } else {
    last = body.lastElementChild;
    if (!last || !last.hasAttribute(marker))
      last = newBlock();
    last.insertAdjacentHTML('beforeend', html);
    nodes = Array.prototype.slice.call(last.childNodes, perBlock);
  }
  for (var i = 0; i < nodes.length; ++i) {
    if (!last || last.childNodes.length >= perBlock)
      last = newBlock();
    last.appendChild(nodes[i]);
  }
  window.scrollTo(0, document.documentElement.scrollHeight);
})
)JS";

QString CallPlaceNodes(const QString& argument) {
    return QString::fromLatin1(kPlaceNodes).arg(kNodesPerBlock) + QLatin1Char('(') + argument +
           QStringLiteral(");");
}

} // namespace

QString GroupBodyScript() {
    return CallPlaceNodes(QStringLiteral("null"));
}

QString ReplaceElementScript(const QString& id, const QString& html) {
    const QByteArray arguments = QJsonDocument(QJsonArray{id, html}).toJson(QJsonDocument::Compact);
    return QStringLiteral("(function (a) { var e = document.getElementById(a[0]); "
                          "if (e) e.outerHTML = a[1]; })(") +
           QString::fromUtf8(arguments) + QStringLiteral(");");
}

QString AppendToBodyScript(const QString& html) {
    // A JSON string literal: nothing in the text can end the argument or the script.
    const QByteArray array = QJsonDocument(QJsonArray{html}).toJson(QJsonDocument::Compact);
    return CallPlaceNodes(QString::fromUtf8(array) + QStringLiteral("[0]"));
}

} // namespace vessaro
