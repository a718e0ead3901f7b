#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// One gift of the simulated platform's list.
struct SimGift
{
    QByteArray productId;
    QString name;
    qint32 price = 0;
};

// The room's gifts in list order: the plug-in's four default gifts first,
// then more at prices from 1 to 1314.
QList<SimGift> simGifts();

// Gifts the list carries as "private_products" (the plug-in ignores them).
QList<SimGift> simPrivateGifts();

// A 150×150 PNG for the gift: a colour of its own (`index` of `count` around
// the colour wheel), a drawn shape and the price.
QByteArray paintGiftPng(const SimGift &gift, int index, int count);
