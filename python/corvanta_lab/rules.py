"""The rules of the game as a page of plain text: ``corvanta rules``, and ``?`` at the console."""

RULES = """\
THE RULES

One to four players fight, together, the twelve royal enemies of a castle: the four Jacks
first, then the four Queens, then the four Kings, each four in a random order. You win when
all twelve are defeated, all of you together; there is no score but how far you got (the level:
enemies defeated, 0 to 12).

THE CARDS
  The tavern deck holds the forty number cards, Ace to Ten of four suits, and with three
  players one jester, with four two. Each player is dealt a hand of up to 8 cards (one player),
  7 (two), 6 (three) or 5 (four), the most a hand may ever hold.
  A card is worth its number: Ace 1, Two to Ten 2 to 10; a jester 0. A Jack in your hand is
  worth 10, a Queen 15, a King 20 (they reach the hands only as defeated enemies, see below),
  and plays like any other card of its suit and worth, suit power included.
  Enemies: a Jack has 20 health and attacks for 10, a Queen 30 and 15, a King 40 and 20.

A TURN
  1. Play cards against the face-up enemy: one card (a jester is always played alone); an Ace
     with any one other card, a royal one too; or two to four cards of one value worth at most
     10 together (two to four Twos, two or three Threes, two Fours, two Fives). Or yield: play
     nothing.
  2. The played cards' suits take effect (below), then they deal their worth as damage: the
     worth of all the cards together, and every suit among them counts (the Ace of Clubs with
     the King of Hearts, against a Spades enemy: Hearts returns 21 cards, Clubs doubles the
     damage to 42). The played cards
     stay beside the enemy until it is defeated, then go to the discard pile.
  3. If the enemy survives, it strikes back: discard cards from your hand worth at least its
     attack. If your whole hand is worth less, the game is lost. Then the next player plays.

SUIT POWERS (each once per play, with the worth of all the cards played)
  Spades    lower the enemy's attack for the rest of the fight (a shield; it lasts).
  Hearts    shuffle the discard pile and put that many cards from it under the tavern deck
            (all of them if it holds fewer).
  Diamonds  the players draw that many cards from the tavern deck, one at a time, seat 0
            first and round the table, skipping full hands.
  Clubs     the damage is doubled.
  An enemy is immune to the power of its own suit: Spades do not shield against the Jack of
  Spades, and so on. Playing a jester lifts that immunity (the Spades already played against
  it then count), deals no damage, skips the strike back, and lets you choose who plays next,
  yourself included.

DEFEATING AN ENEMY
  An enemy whose health reaches 0 or less is defeated, and the same player plays again, against
  the next one. With exactly 0 left (an exact kill) its card goes on top of the tavern deck: the
  next card drawn, a strong card for your team. With less, it goes to the discard pile.
  When the twelfth enemy falls, the win comes with the next play: play any card. (A yield at
  that moment still counts as a yield: with one player it loses.)

HOW A GAME IS LOST
  - a strike back your hand cannot pay for (your cards together are worth less than the attack);
  - every player yields, one after the other (with one player: any yield).

ONE PLAYER
  You may refill your hand twice a game (r): your whole hand goes to the discard pile and you
  draw a full hand. A refill is allowed when you play and when you must discard; after a refill
  during a strike back you still discard, from the new hand.

PLAYING AT THE CONSOLE
  Cards are typed as value then suit: Ah, 10c, Ks, 5d; the jester is Jk. Type the cards to
  play (5h 5c), y to yield, r to refill, a seat number after a jester. A discard may be typed
  over several lines: the running total is shown until it covers the attack, and c clears the
  cards chosen so far. hint asks the search for its best moves, each with its visits (how much
  the search looked at it) and its mean reward (the level its playouts reached on average, 12
  for a win); ? shows these rules and the commands.
"""
