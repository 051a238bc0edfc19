#pragma once

#include <QString>
#include <QStringList>

// Pictures that are not scans, for the text recognition benchmark (bench/ocr.sh): photos of
// products, signs and certificates, screenshots of a phone chat and of a desktop window, vertical
// text, drawn from a fixed seed; and the share of their words a reader sees that recognition finds.

// Writes the corpus into `folder`: NN-kind.jpg or .png, and NN-kind.words (the words drawn, one a
// line). `characters`: the characters the words are drawn from. Returns 0, or 2 when a file
// cannot be written.
int generatePhotos(const QString &folder, const QString &characters);

// Recognises each file and prints its lines and the seconds it took.
int readPictures(const QStringList &files);

// Recognises every picture of `folder` that has a .words list and prints, per kind and in all,
// the words found (a word is found when the picture's lines, joined, hold it), the seconds of the
// slowest picture, then the words missed.
int photoAccuracy(const QString &folder);

// The same for the pictures of a WORDS.tsv list (file, words separated by |, a word not there):
// prints the words found of all, and the absent words reported.
int listedAccuracy(const QString &tsv);
