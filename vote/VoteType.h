#pragma once

// How viewers vote. The state record stores the numbers.
enum class VoteType : int {
    Gift = 1, // by sending the gift chosen for a team
    Text = 2, // by writing a team's name in the chat
};
